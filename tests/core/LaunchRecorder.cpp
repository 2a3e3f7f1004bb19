// A stand-in for a started program: records what it was given into
// $VESPERKEEP_RECORD_DIR/record-<pid>.txt, then, with --sleep-ms N as its first arguments, waits
// and writes done-<pid> when it ends.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

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

int main(int argc, char** argv) {
    const char* dir = std::getenv("VESPERKEEP_RECORD_DIR");
    if (!dir)
        return 2;
    const std::string pid = std::to_string(getpid());
    const std::string fds = OpenDescriptors();
    {
        std::ofstream record(std::string(dir) + "/record-" + pid + ".txt.part");
        char cwd[4096] = {};
        record << "cwd=" << (getcwd(cwd, sizeof cwd) ? cwd : "?") << "\n";
        record << "ppid=" << getppid() << "\n";
        record << "fds=" << fds << "\n";
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
