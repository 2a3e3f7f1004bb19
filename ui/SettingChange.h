#pragma once

class QApplication;

namespace vesperkeep {

// Makes a change of the system's regional settings reach the windows as Qt's LocaleChange event
// where the platform announces it in its own way.
void ForwardRegionalSettingChanges(QApplication& application);

} // namespace vesperkeep
