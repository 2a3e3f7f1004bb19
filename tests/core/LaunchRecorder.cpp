// A stand-in for a started program: records what it was given into
// $VESPERKEEP_RECORD_DIR/record-<pid>.txt, then, with --sleep-ms N as its first arguments, waits
// and writes done-<pid> when it ends.
#include "LaunchRecorder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

using namespace vesperkeep::test;

int main(int argc, char** argv) {
    const char* dir = std::getenv("VESPERKEEP_RECORD_DIR");
    if (!dir)
        return 2;
    const std::string pid = RecorderProcessId();
    const auto facts = RecorderSystemFacts();
    {
        std::ofstream record(std::string(dir) + "/record-" + pid + ".txt.part", std::ios::binary);
        record << "cwd=" << RecorderWorkingDirectory() << "\n";
        for (const auto& [key, value] : facts)
            record << key << "=" << value << "\n";
        const char* mark = std::getenv("VESPERKEEP_MARK");
        record << "mark=" << (mark ? mark : "") << "\n";
        for (int i = 1; i < argc; ++i)
            record << "arg=" << argv[i] << "\n";
    }
    // Appears whole or not at all.
    std::rename((std::string(dir) + "/record-" + pid + ".txt.part").c_str(),
                (std::string(dir) + "/record-" + pid + ".txt").c_str());
    if (argc > 2 && std::string(argv[1]) == "--sleep-ms") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        std::ofstream(std::string(dir) + "/done-" + pid);
    }
    return 0;
}
