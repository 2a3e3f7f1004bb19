#pragma once

#include "ScheduleWindow.h"
#include "settings/Clock.h"

namespace vesperkeep {

// Reads the settings file from the working directory and, only once every line is read, writes
// the values into the six fields. Throws EInOutError with no field touched.
void LoadSettingFields(TScheduleWindow& window, TClock& clock);

} // namespace vesperkeep
