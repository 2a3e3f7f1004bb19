#include "SettingChange.h"

namespace vesperkeep {

// The process locale comes from the environment at start and the desktop announces no change to
// a running program; a LocaleChange that Qt delivers is handled all the same.
void ForwardRegionalSettingChanges(QApplication&) {}

} // namespace vesperkeep
