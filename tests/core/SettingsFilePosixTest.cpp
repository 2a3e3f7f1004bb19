#include "Fakes.h"
#include "TempDir.h"
#include "scheduler/SettingFields.h"
#include "settings/BackupSettings.h"
#include "settings/Errors.h"
#include "settings/TrustedFilePosix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <set>

namespace vesperkeep::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t Nobody = 65534;
constexpr const char* NotRegular = "dbbkcfg.txt is not a regular file";
constexpr const char* Untrusted = "dbbkcfg.txt may be changed by other users";

// The text of the error loading `path` raises, as seen by an ordinary user: run as root (as CI
// does), the load happens in a child that has given up root first.
std::string LoadErrorAsOrdinaryUser(const std::string& path) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::string text = "no error";
        if (geteuid() == 0 && (setgid(Nobody) != 0 || setuid(Nobody) != 0))
            text = "cannot drop root";
        else {
            try {
                LoadBackupSettings(path, TLocalDate{2024, 3, 5});
            } catch (const EInOutError& error) {
                text = error.what();
            }
        }
        (void)!write(pipeFds[1], text.data(), text.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    return text;
}

TEST(SettingsFilePosix, ReportsAFileThatMayNotBeReadAsAccessDenied) {
    TTempDir dir;
    std::filesystem::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec |
                                                 fs::perms::others_exec);
    const auto path = dir.Write("dbbkcfg.txt", "stop db\n");
    chmod(path.c_str(), 0);
    EXPECT_EQ(LoadErrorAsOrdinaryUser(path.string()), "Access denied");
}

// Accounts as a case wants them: the running user, and which (group, owner) pairs count as the
// owner's private group.
class TFakeAccounts final : public TUserAccounts {
public:
    uid_t Running = geteuid();
    std::set<std::pair<gid_t, uid_t>> PrivateGroups;

    uid_t RunningUser() const override { return Running; }
    bool IsPrivateGroup(gid_t group, uid_t user) const override {
        return PrivateGroups.count({group, user}) > 0;
    }
};

// The error text of opening the file, or "" when it was opened.
std::string OpenError(const fs::path& path, const TUserAccounts& accounts) {
    try {
        ::close(OpenTrustedFile(path.string(), accounts));
        return "";
    } catch (const EInOutError& error) {
        return error.what();
    }
}

// A case arranges `Folder` and `File` (Folder/dbbkcfg.txt, written 0644 in a 0755 folder).
struct TTrustCase {
    const char* Name;
    std::function<void(const fs::path& folder, const fs::path& file)> Arrange;
    const char* Expected; // "" when the file is opened
    bool GroupIsPrivate = false;
    bool NeedsRoot = false; // to give files to another user
    uid_t RunAs = geteuid();
};

void Mode(const fs::path& path, mode_t mode) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}
void GiveToNobody(const fs::path& path) {
    ASSERT_EQ(::lchown(path.c_str(), Nobody, static_cast<gid_t>(-1)), 0);
}
void Replace(const fs::path& file, const std::function<void()>& create) {
    fs::remove(file);
    create();
}

class SettingsFileTrust : public ::testing::TestWithParam<TTrustCase> {};

TEST_P(SettingsFileTrust, RefusesWhatAnotherUserCouldChange) {
    const TTrustCase& c = GetParam();
    if (c.NeedsRoot && geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    TTempDir dir;
    const fs::path folder = dir.Path() / "work";
    fs::create_directory(folder);
    Mode(folder, 0755);
    const fs::path file = folder / "dbbkcfg.txt";
    std::ofstream(file) << "stop db\n";
    Mode(file, 0644);
    c.Arrange(folder, file);

    TFakeAccounts accounts;
    accounts.Running = c.RunAs;
    if (c.GroupIsPrivate) {
        for (const fs::path& path : {folder, file}) {
            struct stat status {};
            ASSERT_EQ(::stat(path.c_str(), &status), 0);
            accounts.PrivateGroups.insert({status.st_gid, status.st_uid});
        }
    }
    EXPECT_EQ(OpenError(file, accounts), c.Expected);
}

const auto Untouched = [](const fs::path&, const fs::path&) {
};

INSTANTIATE_TEST_SUITE_P(Cases, SettingsFileTrust,
                         ::testing::Values(
                             TTrustCase{"PlainFile", Untouched, ""},
                             TTrustCase{"OwnerOnly",
                                        [](const fs::path& folder, const fs::path& file) {
                                            Mode(folder, 0700);
                                            Mode(file, 0600);
                                        },
                                        ""},
                             TTrustCase{"Fifo",
                                        [](const fs::path&, const fs::path& file) {
                                            Replace(file, [&] {
                                                ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
                                            });
                                        },
                                        NotRegular},
                             TTrustCase{"LinkToDevZero",
                                        [](const fs::path&, const fs::path& file) {
                                            Replace(file,
                                                    [&] { fs::create_symlink("/dev/zero", file); });
                                        },
                                        NotRegular},
                             TTrustCase{"Folder",
                                        [](const fs::path&, const fs::path& file) {
                                            Replace(file, [&] { fs::create_directory(file); });
                                        },
                                        NotRegular},
                             TTrustCase{
                                 "OthersMayWriteTheFile",
                                 [](const fs::path&, const fs::path& file) { Mode(file, 0646); },
                                 Untrusted},
                             TTrustCase{
                                 "GroupMayWriteTheFile",
                                 [](const fs::path&, const fs::path& file) { Mode(file, 0664); },
                                 Untrusted},
                             TTrustCase{
                                 "PrivateGroupMayWriteTheFile",
                                 [](const fs::path&, const fs::path& file) { Mode(file, 0664); },
                                 "", true},
                             TTrustCase{"OthersMayWriteTheFolder",
                                        [](const fs::path& folder, const fs::path&) {
                                            Mode(folder, 0777);
                                        },
                                        Untrusted},
                             TTrustCase{"OthersMayWriteTheStickyFolder",
                                        [](const fs::path& folder, const fs::path&) {
                                            Mode(folder, 01777);
                                        },
                                        ""},
                             TTrustCase{"GroupMayWriteTheFolder",
                                        [](const fs::path& folder, const fs::path&) {
                                            Mode(folder, 0775);
                                        },
                                        Untrusted},
                             TTrustCase{"PrivateGroupMayWriteTheFolder",
                                        [](const fs::path& folder, const fs::path&) {
                                            Mode(folder, 0775);
                                        },
                                        "", true},
                             TTrustCase{
                                 "FileOfAnotherUser",
                                 [](const fs::path&, const fs::path& file) { GiveToNobody(file); },
                                 Untrusted, false, true},
                             TTrustCase{"FileOfAnotherUserInAStickyFolder",
                                        [](const fs::path& folder, const fs::path& file) {
                                            Mode(folder, 01777);
                                            GiveToNobody(file);
                                        },
                                        Untrusted, false, true},
                             TTrustCase{"FolderOfAnotherUser",
                                        [](const fs::path& folder, const fs::path&) {
                                            GiveToNobody(folder);
                                        },
                                        Untrusted, false, true},
                             // Run as an ordinary user, files of root are trusted.
                             TTrustCase{"FileOfRoot", Untouched, "", false, true, 1234},
                             TTrustCase{"LinkToATrustedFile",
                                        [](const fs::path& folder, const fs::path& file) {
                                            fs::create_directory(folder / "real");
                                            Mode(folder / "real", 0755);
                                            fs::rename(file, folder / "real" / "settings");
                                            fs::create_symlink("real/settings", file);
                                        },
                                        ""},
                             TTrustCase{"LinkIntoAFolderOthersMayWrite",
                                        [](const fs::path& folder, const fs::path& file) {
                                            fs::create_directory(folder / "open");
                                            Mode(folder / "open", 0777);
                                            fs::rename(file, folder / "open" / "settings");
                                            fs::create_symlink("open/settings", file);
                                        },
                                        Untrusted},
                             TTrustCase{"LinkToALinkIntoAFolderOthersMayWrite",
                                        [](const fs::path& folder, const fs::path& file) {
                                            fs::create_directory(folder / "open");
                                            Mode(folder / "open", 0777);
                                            fs::rename(file, folder / "open" / "settings");
                                            fs::create_symlink("open/settings", folder / "hop");
                                            fs::create_symlink(folder / "hop", file);
                                        },
                                        Untrusted},
                             TTrustCase{"LinkOfAnotherUser",
                                        [](const fs::path& folder, const fs::path& file) {
                                            fs::rename(file, folder / "settings");
                                            fs::create_symlink("settings", file);
                                            GiveToNobody(file);
                                        },
                                        Untrusted, false, true},
                             TTrustCase{"LinkLoop",
                                        [](const fs::path& folder, const fs::path& file) {
                                            fs::remove(file);
                                            fs::create_symlink("loop", file);
                                            fs::create_symlink("dbbkcfg.txt", folder / "loop");
                                        },
                                        std::strerror(ELOOP)}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsFilePosix, RefusesAFifoWithoutWaitingForAWriter) {
    TTempDir dir;
    const fs::path path = dir.Path() / "dbbkcfg.txt";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    try {
        LoadBackupSettings(path.string(), TLocalDate{2024, 3, 5});
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), NotRegular);
    }
}

TEST(SettingFields, StayUntouchedWhenTheFileIsRefused) {
    TTempDir dir;
    dir.Write("dbbkcfg.txt", "stop db\nD:\\backup\\\nC:\\data\n02:00:00\n03:00:00\n04:00:00\n");
    fs::permissions(dir.Path(), fs::perms::all);
    TWorkingDirectory cwd(dir.Path());
    TFakeWindow window;
    TFakeClock clock;
    try {
        LoadSettingFields(window, clock);
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), Untrusted);
    }
    EXPECT_TRUE(window.FieldWrites.empty());
}

TEST(SystemUserAccounts, KnowRootsOwnGroupFromASharedOne) {
    const TSystemUserAccounts accounts;
    EXPECT_EQ(accounts.RunningUser(), geteuid());
    EXPECT_TRUE(accounts.IsPrivateGroup(0, 0));
    const group* nogroup = ::getgrnam("nogroup");
    ASSERT_NE(nogroup, nullptr);
    EXPECT_FALSE(accounts.IsPrivateGroup(nogroup->gr_gid, 0));
    // Not nobody's primary group.
    EXPECT_FALSE(accounts.IsPrivateGroup(0, Nobody));
}

} // namespace
} // namespace vesperkeep::test
