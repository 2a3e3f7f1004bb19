#pragma once

namespace vesperkeep {

// The last step of the Windows power-off, ExitWindowsEx(flags, reason) returning non-zero on
// success. Tests put a recorder in its place so that the machine running them stays up; the
// privilege steps before it run for real.
using TExitWindowsCall = int (*)(unsigned flags, unsigned long reason);

// Puts `call` in place of the one in use (at first the system's own) and returns that one.
TExitWindowsCall ReplaceExitWindowsCall(TExitWindowsCall call);

} // namespace vesperkeep
