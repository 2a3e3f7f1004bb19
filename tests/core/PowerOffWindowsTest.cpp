#include "scheduler/ExitWindowsCall.h"
#include "scheduler/PowerOff.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace vesperkeep::test {
namespace {

LUID ShutdownPrivilege() {
    LUID luid{};
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid));
    return luid;
}

// The attributes of the shutdown privilege in this process's token; nothing when it has none.
std::optional<DWORD> ShutdownPrivilegeAttributes() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::nullopt;
    std::vector<char> buffer(64 * 1024);
    DWORD length = 0;
    const bool read = GetTokenInformation(token, TokenPrivileges, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &length);
    CloseHandle(token);
    if (!read)
        return std::nullopt;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    const LUID wanted = ShutdownPrivilege();
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& luid = privileges->Privileges[i].Luid;
        if (luid.LowPart == wanted.LowPart && luid.HighPart == wanted.HighPart)
            return privileges->Privileges[i].Attributes;
    }
    return std::nullopt;
}

void SetShutdownPrivilege(DWORD attributes) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = ShutdownPrivilege();
    privileges.Privileges[0].Attributes = attributes;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    CloseHandle(token);
}

bool ShutdownPrivilegeEnabled() {
    const auto attributes = ShutdownPrivilegeAttributes();
    return attributes && (*attributes & SE_PRIVILEGE_ENABLED);
}

// What the stand-in for ExitWindowsEx saw.
struct TExitWindowsCalls {
    std::vector<std::pair<unsigned, unsigned long>> Calls;
    bool PrivilegeEnabledAtCall = false;
    int Result = 0;
};
TExitWindowsCalls Seen;

int RecordExitWindows(unsigned flags, unsigned long reason) {
    Seen.Calls.emplace_back(flags, reason);
    Seen.PrivilegeEnabledAtCall = ShutdownPrivilegeEnabled();
    return Seen.Result;
}

class PowerOffWindows : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        Seen = {};
        Previous = ReplaceExitWindowsCall(RecordExitWindows);
        ASSERT_TRUE(ShutdownPrivilegeAttributes()) << "the token lacks the shutdown privilege";
        Initial = *ShutdownPrivilegeAttributes() & SE_PRIVILEGE_ENABLED;
        SetShutdownPrivilege(0);
    }
    void TearDown() override {
        ReplaceExitWindowsCall(Previous);
        SetShutdownPrivilege(Initial);
    }

    TExitWindowsCall Previous = nullptr;
    DWORD Initial = 0;
};

TEST_P(PowerOffWindows, EnablesTheShutdownPrivilegeThenAsksForAForcedPowerOff) {
    Seen.Result = GetParam();
    ASSERT_FALSE(ShutdownPrivilegeEnabled());
    const bool accepted = PowerOffComputer(ExitWindowsPowerOff | ExitWindowsForce);
    EXPECT_EQ(Seen.Calls, (std::vector<std::pair<unsigned, unsigned long>>{{12u, 0ul}}));
    EXPECT_TRUE(Seen.PrivilegeEnabledAtCall);
    EXPECT_EQ(accepted, GetParam() != 0);
}

// The system's answer: refused, accepted, and accepted with another non-zero value.
INSTANTIATE_TEST_SUITE_P(Answers, PowerOffWindows, ::testing::Values(0, 1, -1));

int ExitWithTheFlags(unsigned flags, unsigned long reason) {
    std::_Exit(static_cast<int>(flags + reason));
}

TEST(PowerOffWindowsDeathTest, StillAsksTheSystemWhenThePrivilegeIsGone) {
    // In a child process, since a privilege once removed from a token does not come back.
    EXPECT_EXIT(
        {
            SetShutdownPrivilege(SE_PRIVILEGE_REMOVED);
            if (ShutdownPrivilegeAttributes())
                std::_Exit(1);
            ReplaceExitWindowsCall(ExitWithTheFlags);
            PowerOffComputer(ExitWindowsPowerOff | ExitWindowsForce);
            std::_Exit(2);
        },
        ::testing::ExitedWithCode(12), "");
}

} // namespace
} // namespace vesperkeep::test
