#pragma once

namespace vesperkeep {

// The ExitWindowsEx flags the power-off understands (EWX_POWEROFF and EWX_FORCE).
constexpr unsigned ExitWindowsPowerOff = 0x08;
constexpr unsigned ExitWindowsForce = 0x04;

// Asks the system to end all programs without asking them and to switch the machine off.
// Returns whether the system accepted; reports nothing.
bool PowerOffComputer(unsigned flags);

class TPowerOff {
public:
    virtual ~TPowerOff() = default;
    virtual bool PowerOffComputer(unsigned flags) = 0;
};

class TSystemPowerOff final : public TPowerOff {
public:
    bool PowerOffComputer(unsigned flags) override { return vesperkeep::PowerOffComputer(flags); }
};

} // namespace vesperkeep
