#include "ExitWindowsCall.h"
#include "PowerOff.h"

#include <windows.h>

namespace vesperkeep {

namespace {

int SystemExitWindows(unsigned flags, unsigned long reason) {
    return ExitWindowsEx(flags, reason);
}

TExitWindowsCall ExitWindowsCall = SystemExitWindows;

bool IsNtFamily() {
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    return VerifyVersionInfoA(&version, VER_PLATFORMID,
                              VerSetConditionMask(0, VER_PLATFORMID, VER_EQUAL)) != FALSE;
}

class TTokenHandle {
public:
    TTokenHandle() = default;
    ~TTokenHandle() {
        if (Handle)
            CloseHandle(Handle);
    }
    TTokenHandle(const TTokenHandle&) = delete;
    TTokenHandle& operator=(const TTokenHandle&) = delete;

    HANDLE Handle = nullptr;
};

// Enables the shutdown privilege in this process's token where the system lets it; a refused
// token, look-up or change is left for ExitWindowsEx to report by refusing.
void EnableShutdownPrivilege() {
    TTokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &token.Handle))
        return;
    TOKEN_PRIVILEGES privileges{};
    const bool found =
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!found)
        return;
    static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege fills the 16-byte record");
    TOKEN_PRIVILEGES previous{};
    DWORD previousLength = 0;
    AdjustTokenPrivileges(token.Handle, FALSE, &privileges, sizeof previous, &previous,
                          &previousLength);
}

} // namespace

TExitWindowsCall ReplaceExitWindowsCall(TExitWindowsCall call) {
    const TExitWindowsCall replaced = ExitWindowsCall;
    ExitWindowsCall = call;
    return replaced;
}

bool PowerOffComputer(unsigned flags) {
    if (IsNtFamily())
        EnableShutdownPrivilege();
    return ExitWindowsCall(flags, 0) != 0;
}

} // namespace vesperkeep
