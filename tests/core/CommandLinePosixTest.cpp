#include "LaunchRecords.h"
#include "TempDir.h"
#include "scheduler/CommandLine.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace vesperkeep::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Processes whose parent is this one, zombies included.
int ChildProcesses() {
    int children = 0;
    DIR* proc = opendir("/proc");
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        char state = 0;
        long ppid = 0;
        fields >> state >> ppid;
        if (ppid == getpid())
            ++children;
    }
    closedir(proc);
    return children;
}

// Descriptors this process holds open.
int OpenDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count - 1; // the one the listing itself holds
}

class RunCommandLinePosix : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(Bin);
        fs::create_directory(Records);
        fs::create_symlink(LAUNCH_RECORDER, Bin / "vk-recorder");
        const char* path = std::getenv("PATH");
        OldPath = path ? path : "";
        setenv("PATH", (Bin.string() + ":" + OldPath).c_str(), 1);
        setenv("VESPERKEEP_RECORD_DIR", Records.c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", OldPath.c_str(), 1);
        unsetenv("VESPERKEEP_RECORD_DIR");
        unsetenv("VESPERKEEP_MARK");
    }

    std::vector<TRecord> WaitForRecords(std::size_t count) const {
        return test::WaitForRecords(Records, count);
    }
    bool Done() const { return RecorderDone(Records); }
    bool WaitForDone() const { return WaitForRecorderDone(Records); }

    TTempDir Dir;
    fs::path Bin = Dir.Path() / "bin";
    fs::path Records = Dir.Path() / "records";
    std::string OldPath;
};

TEST_F(RunCommandLinePosix, ReturnsAtOnceAndLeavesNoChildBehind) {
    const auto start = std::chrono::steady_clock::now();
    RunCommandLine("vk-recorder --sleep-ms 2000");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    ASSERT_EQ(WaitForRecords(1).size(), 1u);
    EXPECT_FALSE(Done()); // still running
    // Started through an intermediate process that is already reaped: no child of ours, so no
    // zombie now or once the program ends.
    EXPECT_EQ(ChildProcesses(), 0);
    ASSERT_TRUE(WaitForDone());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ChildProcesses(), 0);
}

TEST_F(RunCommandLinePosix, HandsOverWorkingDirectoryEnvironmentAndWordsIntact) {
    const fs::path work = Dir.Path() / "work dir";
    fs::create_directory(work);
    TWorkingDirectory cwd(work);
    setenv("VESPERKEEP_MARK", "mark 1", 1);
    // A descriptor left open without close-on-exec must not reach the program.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    RunCommandLine("vk-recorder 'a b' \"c\\\"d\" e\\ f $HOME * ; |");
    ::close(stray);

    const auto records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Cwd, fs::canonical(work).string());
    EXPECT_EQ(records[0].Mark, "mark 1");
    EXPECT_EQ(records[0].Fds, "0,1,2");
    EXPECT_EQ(records[0].Args,
              (std::vector<std::string>{"a b", "c\"d", "e f", "$HOME", "*", ";", "|"}));
}

TEST_F(RunCommandLinePosix, LeavesNothingBehindAfterAThousandLaunches) {
    const int descriptorsBefore = OpenDescriptors();
    // A descriptor left open without close-on-exec must reach none of them.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    constexpr int Launches = 1000;
    for (int i = 0; i < Launches; ++i) {
        // The stop command double-clicked, then the archive step.
        RunCommandLine(i % 2 == 0 ? "vk-recorder --now"
                                  : "vk-recorder.exe a -tzip /backup/MySQL20240305 /data");
    }
    ::close(stray);
    EXPECT_EQ(ChildProcesses(), 0);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);

    // Only the listing is polled; the records are read once all are there.
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    std::vector<fs::path> records;
    while (std::chrono::steady_clock::now() < deadline) {
        records.clear();
        for (const auto& entry : fs::directory_iterator(Records))
            if (entry.path().extension() == ".txt")
                records.push_back(entry.path());
        if (records.size() >= Launches)
            break;
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(records.size(), static_cast<std::size_t>(Launches));
    int stops = 0;
    for (const fs::path& record : records) {
        std::ifstream in(record);
        std::string line, fds;
        bool stop = false;
        while (std::getline(in, line)) {
            if (line.rfind("fds=", 0) == 0)
                fds = line.substr(4);
            stop = stop || line == "arg=--now";
        }
        EXPECT_EQ(fds, "0,1,2") << record;
        stops += stop;
    }
    EXPECT_EQ(stops, Launches / 2);
    EXPECT_EQ(ChildProcesses(), 0);
}

TEST_F(RunCommandLinePosix, FindsAWindowsStyleProgramNameWithoutItsSuffix) {
    RunCommandLine("vk-recorder.exe a -tzip /backup/MySQL20240305 /data");
    RunCommandLine((Bin / "vk-recorder.EXE").string() + " by-path");
    const auto records = WaitForRecords(2);
    ASSERT_EQ(records.size(), 2u);
    std::vector<std::vector<std::string>> args{records[0].Args, records[1].Args};
    std::sort(args.begin(), args.end());
    EXPECT_EQ(args, (std::vector<std::vector<std::string>>{
                        {"a", "-tzip", "/backup/MySQL20240305", "/data"}, {"by-path"}}));
}

TEST_F(RunCommandLinePosix, StaysSilentAboutAProgramThatIsNotThere) {
    EXPECT_NO_THROW(RunCommandLine("vesperkeep-no-such-program --now"));
    EXPECT_NO_THROW(RunCommandLine("/nonexistent/stop-db.exe"));
    EXPECT_EQ(ChildProcesses(), 0);
}

TEST_F(RunCommandLinePosix, RefusesALineThatCannotBeSplit) {
    for (const char* line : {"vk-recorder 'unclosed", "vk-recorder \"unclosed", "", "   "})
        EXPECT_THROW(RunCommandLine(line), EConvertError) << line;
    EXPECT_TRUE(fs::is_empty(Records));
}

} // namespace
} // namespace vesperkeep::test
