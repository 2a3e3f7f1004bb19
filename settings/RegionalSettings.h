#pragma once

#include <string>

namespace vesperkeep {

// The parts of the system's regional settings that time texts depend on. The defaults are the
// values that apply where the system gives nothing.
struct TRegionalSettings {
    std::string TimeSeparator = ":";
    std::string DecimalSeparator = ".";
    std::string MorningDesignator = "AM";   // empty in 24-hour locales; never matches then
    std::string AfternoonDesignator = "PM"; // likewise
};

// Reads the regional settings of the running user afresh (POSIX: the process locale set by
// setlocale(LC_ALL, ""); Windows: the user default locale). Cheap enough to call again whenever
// the system announces a change.
TRegionalSettings ReadRegionalSettings();

} // namespace vesperkeep
