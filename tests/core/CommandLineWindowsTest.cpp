#include "LaunchRecords.h"
#include "TempDir.h"
#include "scheduler/CommandLine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace vesperkeep::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The recorder is built beside the test program. Copies under other names are started, since
// the launcher looks in this program's own folder first.
fs::path RecorderProgram() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(path).parent_path() / "launch_recorder.exe";
}

std::string EnvironmentVariable(const char* name) {
    char value[32768] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length < sizeof value ? std::string(value, length) : std::string();
}

class RunCommandLineWindows : public ::testing::Test {
protected:
    void SetUp() override {
        for (const fs::path& folder : {Work, Bin, Records})
            fs::create_directory(folder);
        for (const fs::path& copy : Programs)
            fs::copy_file(RecorderProgram(), copy);
        OldPath = EnvironmentVariable("PATH");
        SetEnvironmentVariableA("PATH", (Bin.string() + ";" + OldPath).c_str());
        SetEnvironmentVariableA("VESPERKEEP_RECORD_DIR", Records.string().c_str());
        SetEnvironmentVariableA("VESPERKEEP_MARK", "mark 1");
    }
    void TearDown() override {
        SetEnvironmentVariableA("PATH", OldPath.c_str());
        SetEnvironmentVariableA("VESPERKEEP_RECORD_DIR", nullptr);
        SetEnvironmentVariableA("VESPERKEEP_MARK", nullptr);
        // A program file cannot be removed while it runs: wait for the started ones to end.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (const fs::path& copy : Programs) {
            std::error_code error;
            while (!fs::remove(copy, error) && error && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
            EXPECT_FALSE(fs::exists(copy)) << copy << " is still running";
        }
    }

    std::vector<TRecord> WaitForRecords(std::size_t count) const {
        return test::WaitForRecords(Records, count);
    }
    bool Done() const { return RecorderDone(Records); }
    bool WaitForDone() const { return WaitForRecorderDone(Records); }

    TTempDir Dir;
    fs::path Work = Dir.Path() / "work dir";
    fs::path Bin = Dir.Path() / "bin";
    fs::path Records = Dir.Path() / "records";
    std::vector<fs::path> Programs{Work / "vk-recorder.exe", Work / "vk recorder.exe",
                                   Bin / "7z.exe"};
    std::string OldPath;
};

TEST_F(RunCommandLineWindows, ReturnsWhileTheProgramRunsOn) {
    TWorkingDirectory cwd(Work);
    RunCommandLine("vk-recorder.exe --sleep-ms 2000");
    EXPECT_FALSE(Done());
    ASSERT_EQ(WaitForRecords(1).size(), 1u);
    EXPECT_FALSE(Done());
    EXPECT_TRUE(WaitForDone());
}

TEST_F(RunCommandLineWindows, HandsOverTheWholeLineWorkingDirectoryAndEnvironment) {
    TWorkingDirectory cwd(Work);
    std::vector<std::string> lines{
        // Quotes, backslashes and shell characters reach the program untouched.
        "vk-recorder.exe a \"b c\" d\\e \"f\\\"g\" %PATH% * ; |",
        // Found on PATH, as the archiver is.
        "7z.exe a -tzip \"D:\\My Backups\\MySQL20240305\" C:\\data",
        // Found without its suffix, and by a quoted name with a blank.
        "vk-recorder by-name",
        "\"vk recorder.exe\" quoted",
    };
    for (const std::string& line : lines)
        RunCommandLine(line);

    const auto records = WaitForRecords(lines.size());
    std::vector<std::string> received;
    for (const TRecord& record : records) {
        received.push_back(record.CommandLine);
        EXPECT_TRUE(fs::equivalent(record.Cwd, Work)) << record.Cwd;
        EXPECT_EQ(record.Mark, "mark 1");
    }
    std::sort(lines.begin(), lines.end());
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, lines);
}

TEST_F(RunCommandLineWindows, StaysSilentAboutAProgramThatIsNotThere) {
    TWorkingDirectory cwd(Work);
    for (const char* line : {"vesperkeep-no-such-program --now", "C:\\nonexistent\\stop-db.exe",
                             "\"unclosed", "", "   "})
        EXPECT_NO_THROW(RunCommandLine(line)) << line;
}

} // namespace
} // namespace vesperkeep::test
