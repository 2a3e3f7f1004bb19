#pragma once

#include <sys/types.h>

#include <string>

namespace vesperkeep {

// Who runs the program and how accounts relate, for deciding who else may change a file. Tests
// put a fake in place of the system's account database.
class TUserAccounts {
public:
    virtual ~TUserAccounts() = default;

    // The user whose rights the program runs with.
    virtual uid_t RunningUser() const = 0;

    // True when the group belongs to the user alone: it bears the user's name, it is the user's
    // primary group, and it lists no member other than the user. Whether some other account
    // also has it as its primary group is not looked up, since that means reading the whole
    // account database, which network directories make slow or refuse.
    virtual bool IsPrivateGroup(gid_t group, uid_t user) const = 0;
};

// The running process and the system's account database.
class TSystemUserAccounts final : public TUserAccounts {
public:
    uid_t RunningUser() const override;
    bool IsPrivateGroup(gid_t group, uid_t user) const override;
};

// Opens a file for reading that only the running user or root can change, and returns its
// descriptor, which the caller closes. Anyone who can change the settings file can run commands
// with this program's rights, so the file is refused unless it is a regular file that belongs to
// the running user or root, that no other user may write, and that lies in a folder no other
// user may change the entries of. Symbolic links are followed one step at a time and each is held
// to the same rules as a file, its folder included. The checks look at what was actually opened,
// so nothing can be swapped in between check and read.
//
// Throws EInOutError: "<name> is not a regular file", "<name> may be changed by other users"
// (with the last part of the path as name), or the text of ThrowFileError.
int OpenTrustedFile(const std::string& path, const TUserAccounts& accounts);

// Throws the EInOutError for a failed system call: "File not found", "Access denied", otherwise
// the system's own text.
[[noreturn]] void ThrowFileError(int error);

} // namespace vesperkeep
