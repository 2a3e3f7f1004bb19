#include "LaunchRecorder.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>

namespace vesperkeep::test {

namespace {

std::string OpenDescriptors() {
    std::string list;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return "?";
    const int own = dirfd(fds);
    while (const dirent* entry = readdir(fds)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        list += (list.empty() ? "" : ",") + std::string(entry->d_name);
    }
    closedir(fds);
    return list;
}

} // namespace

std::string RecorderProcessId() {
    return std::to_string(getpid());
}

std::string RecorderWorkingDirectory() {
    char cwd[4096] = {};
    return getcwd(cwd, sizeof cwd) ? cwd : "?";
}

std::vector<std::pair<std::string, std::string>> RecorderSystemFacts() {
    return {{"ppid", std::to_string(getppid())}, {"fds", OpenDescriptors()}};
}

} // namespace vesperkeep::test
