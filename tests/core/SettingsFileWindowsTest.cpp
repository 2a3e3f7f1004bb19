#include "TempDir.h"
#include "settings/BackupSettings.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

namespace vesperkeep::test {
namespace {

namespace fs = std::filesystem;

// Another program's handle on the file, closed at the end.
class THeldFile {
public:
    THeldFile(const fs::path& path, DWORD access, DWORD share)
        : Handle(CreateFileA(path.string().c_str(), access, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(Handle, INVALID_HANDLE_VALUE);
    }
    ~THeldFile() { CloseHandle(Handle); }
    THeldFile(const THeldFile&) = delete;
    THeldFile& operator=(const THeldFile&) = delete;

private:
    HANDLE Handle;
};

std::string SystemText(DWORD error) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "";
    LocalFree(text);
    return message;
}

// The error text loading `path` raises, or "loaded" when it loads.
std::string LoadError(const fs::path& path) {
    try {
        LoadBackupSettings(path.string(), TLocalDate{2024, 3, 5});
        return "loaded";
    } catch (const EInOutError& error) {
        return error.what();
    }
}

TEST(SettingsFileWindows, ReportsAFolderAsAccessDenied) {
    TTempDir dir;
    fs::create_directory(dir.Path() / "dbbkcfg.txt");
    EXPECT_EQ(LoadError(dir.Path() / "dbbkcfg.txt"), "Access denied");
}

TEST(SettingsFileWindows, LoadsAFileAnotherProgramHasOpenForWriting) {
    TTempDir dir;
    const auto path = dir.Write("dbbkcfg.txt", "stop db\n");
    THeldFile editor(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(LoadError(path), "loaded");
}

TEST(SettingsFileWindows, ReportsOtherFailuresWithTheSystemsTextWithoutItsEnd) {
    struct TCase {
        const char* Name;
        DWORD Error;
        std::function<std::string(const TTempDir&)> Run;
    };
    const TCase cases[] = {{"MissingFolder", ERROR_PATH_NOT_FOUND,
                            [](const TTempDir& dir) {
                                return LoadError(dir.Path() / "no such" / "dbbkcfg.txt");
                            }},
                           {"HeldWithoutSharing", ERROR_SHARING_VIOLATION, [](const TTempDir& dir) {
                                const auto path = dir.Write("dbbkcfg.txt", "stop db\n");
                                THeldFile exclusive(path, GENERIC_READ, 0);
                                return LoadError(path);
                            }}};
    for (const TCase& c : cases) {
        TTempDir dir;
        const std::string message = c.Run(dir);
        const std::string system = SystemText(c.Error); // such as "Sharing violation.\r\n"
        ASSERT_FALSE(message.empty()) << c.Name;
        EXPECT_EQ(system.rfind(message, 0), 0u) << c.Name << ": " << message;
        EXPECT_EQ(system.find_first_not_of(". \r\n", message.size()), std::string::npos)
            << c.Name << ": " << message;
        EXPECT_NE(message.back(), '.') << c.Name;
    }
}

} // namespace
} // namespace vesperkeep::test
