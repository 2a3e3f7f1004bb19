#include "TempDir.h"
#include "settings/BackupSettings.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesperkeep::test {
namespace {

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
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
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
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const auto path = dir.Write("dbbkcfg.txt", "stop db\n");
    chmod(path.c_str(), 0);
    EXPECT_EQ(LoadErrorAsOrdinaryUser(path.string()), "Access denied");
}

TEST(SettingsFilePosix, ReportsAFolderWithTheSystemsText) {
    TTempDir dir;
    std::filesystem::create_directory(dir.Path() / "dbbkcfg.txt");
    try {
        LoadBackupSettings((dir.Path() / "dbbkcfg.txt").string(), TLocalDate{2024, 3, 5});
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "Is a directory");
    }
}

} // namespace
} // namespace vesperkeep::test
