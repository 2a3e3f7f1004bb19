#include "TrustedFilePosix.h"

#include "Errors.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace vesperkeep {

namespace {

// More links than this in a row are a loop or a trap, as the kernel treats them.
constexpr int MaxLinksFollowed = 8;

class TDescriptor {
public:
    explicit TDescriptor(int fd) : Fd(fd) {}
    ~TDescriptor() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    TDescriptor& operator=(TDescriptor&& other) noexcept {
        std::swap(Fd, other.Fd);
        return *this;
    }

    bool Valid() const { return Fd >= 0; }
    int Get() const { return Fd; }
    int Release() { return std::exchange(Fd, -1); }

private:
    int Fd;
};

// "a/b" -> ("a", "b"), "b" -> (".", "b"), "/b" -> ("/", "b"); a trailing slash names the folder
// itself: "a/" -> ("a", ".").
std::pair<std::string, std::string> SplitFolderAndName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", std::string(path)};
    std::string folder(path.substr(0, slash));
    std::string name(path.substr(slash + 1));
    return {folder.empty() ? "/" : folder, name.empty() ? "." : name};
}

// The last part of the path, as the operator knows the file.
std::string DisplayName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    return std::string(
        slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1));
}

bool OwnedByUsOrRoot(const struct stat& status, const TUserAccounts& accounts) {
    return status.st_uid == 0 || status.st_uid == accounts.RunningUser();
}

bool WritableByOthers(const struct stat& status, const TUserAccounts& accounts) {
    if (status.st_mode & S_IWOTH)
        return true;
    return (status.st_mode & S_IWGRP) && !accounts.IsPrivateGroup(status.st_gid, status.st_uid);
}

bool FileMayBeChangedByOthers(const struct stat& status, const TUserAccounts& accounts) {
    return !OwnedByUsOrRoot(status, accounts) || WritableByOthers(status, accounts);
}

// Whoever may change a folder's entries may put another file in place of ours. With the sticky
// bit, others may add entries but not remove or rename ours.
bool FolderMayBeChangedByOthers(const struct stat& status, const TUserAccounts& accounts) {
    if (!OwnedByUsOrRoot(status, accounts))
        return true;
    return !(status.st_mode & S_ISVTX) && WritableByOthers(status, accounts);
}

struct stat StatusOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        ThrowFileError(errno);
    return status;
}

std::string LinkTarget(int folder, const std::string& name, std::size_t sizeHint) {
    std::vector<char> buffer(sizeHint + 1);
    for (;;) {
        const ssize_t length = ::readlinkat(folder, name.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            ThrowFileError(errno);
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

[[noreturn]] void ThrowUntrusted(const std::string& path) {
    throw EInOutError(DisplayName(path) + " may be changed by other users");
}

} // namespace

void ThrowFileError(int error) {
    switch (error) {
    case ENOENT:
        throw EInOutError("File not found");
    case EACCES:
    case EPERM:
        throw EInOutError("Access denied");
    default:
        throw EInOutError(std::strerror(error));
    }
}

int OpenTrustedFile(const std::string& path, const TUserAccounts& accounts) {
    auto [folderPath, name] = SplitFolderAndName(path);
    // A path descriptor needs no read right on the folder, only the right to pass through.
    TDescriptor folder(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid())
        ThrowFileError(errno);

    for (int links = 0;; ++links) {
        if (FolderMayBeChangedByOthers(StatusOf(folder.Get()), accounts))
            ThrowUntrusted(path);
        // Non-blocking, so that a FIFO in place of the file cannot hold up the open.
        TDescriptor file(::openat(folder.Get(), name.c_str(),
                                  O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
        if (file.Valid()) {
            const struct stat status = StatusOf(file.Get());
            if (!S_ISREG(status.st_mode))
                throw EInOutError(DisplayName(path) + " is not a regular file");
            if (FileMayBeChangedByOthers(status, accounts))
                ThrowUntrusted(path);
            return file.Release();
        }
        if (errno != ELOOP)
            ThrowFileError(errno);

        // The name is a symbolic link. Whoever owns it chooses what we read; its own mode bits
        // mean nothing.
        if (links == MaxLinksFollowed)
            ThrowFileError(ELOOP);
        struct stat link {};
        if (::fstatat(folder.Get(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
            ThrowFileError(errno);
        if (!OwnedByUsOrRoot(link, accounts))
            ThrowUntrusted(path);
        const std::string target =
            LinkTarget(folder.Get(), name, static_cast<std::size_t>(link.st_size));
        auto [targetFolder, targetName] = SplitFolderAndName(target);
        // Relative to the folder that holds the link; an absolute target ignores it.
        folder = TDescriptor(
            ::openat(folder.Get(), targetFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.Valid())
            ThrowFileError(errno);
        name = std::move(targetName);
    }
}

uid_t TSystemUserAccounts::RunningUser() const {
    return ::geteuid();
}

bool TSystemUserAccounts::IsPrivateGroup(gid_t group, uid_t user) const {
    std::vector<char> userBuffer(1024);
    passwd account{};
    passwd* foundAccount = nullptr;
    while (::getpwuid_r(user, &account, userBuffer.data(), userBuffer.size(), &foundAccount) ==
           ERANGE)
        userBuffer.resize(userBuffer.size() * 2);
    if (!foundAccount || account.pw_gid != group)
        return false;

    std::vector<char> groupBuffer(1024);
    struct group entry {};
    struct group* foundGroup = nullptr;
    while (::getgrgid_r(group, &entry, groupBuffer.data(), groupBuffer.size(), &foundGroup) ==
           ERANGE)
        groupBuffer.resize(groupBuffer.size() * 2);
    if (!foundGroup || std::strcmp(entry.gr_name, account.pw_name) != 0)
        return false;
    for (char** member = entry.gr_mem; member && *member; ++member)
        if (std::strcmp(*member, account.pw_name) != 0)
            return false;
    return true;
}

} // namespace vesperkeep
