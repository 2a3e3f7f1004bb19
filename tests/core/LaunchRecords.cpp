#include "LaunchRecords.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace vesperkeep::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TRecord ReadRecord(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    TRecord record;
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "cwd")
            record.Cwd = value;
        else if (key == "fds")
            record.Fds = value;
        else if (key == "mark")
            record.Mark = value;
        else if (key == "cmdline")
            record.CommandLine = value;
        else if (key == "arg")
            record.Args.push_back(value);
    }
    return record;
}

} // namespace

std::vector<TRecord> WaitForRecords(const fs::path& folder, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::vector<TRecord> records;
    while (std::chrono::steady_clock::now() < deadline) {
        records.clear();
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("record-", 0) == 0 && entry.path().extension() == ".txt")
                records.push_back(ReadRecord(entry.path()));
        }
        if (records.size() >= count)
            return records;
        std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "only " << records.size() << " of " << count << " programs started";
    return records;
}

bool RecorderDone(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind("done-", 0) == 0)
            return true;
    return false;
}

bool WaitForRecorderDone(const fs::path& folder) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (RecorderDone(folder))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

} // namespace vesperkeep::test
