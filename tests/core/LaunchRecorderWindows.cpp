#include "LaunchRecorder.h"

#include <windows.h>

namespace vesperkeep::test {

std::string RecorderProcessId() {
    return std::to_string(GetCurrentProcessId());
}

std::string RecorderWorkingDirectory() {
    char cwd[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof cwd, cwd);
    return length > 0 && length < sizeof cwd ? std::string(cwd, length) : "?";
}

std::vector<std::pair<std::string, std::string>> RecorderSystemFacts() {
    return {{"cmdline", GetCommandLineA()}};
}

} // namespace vesperkeep::test
