#include "TimeOfDay.h"

#include <ctime>

namespace vesperkeep {

TLocalDateTime CurrentLocalDateTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalDateTime result;
    result.Date = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    // A leap second (tm_sec 60) is counted as the last millisecond of its minute, so the value
    // stays below one day.
    const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
    const int milliseconds = local.tm_sec > 59 ? 999 : static_cast<int>(now.tv_nsec / 1'000'000);
    result.Time = TimeOfDayFromParts(local.tm_hour, local.tm_min, seconds, milliseconds);
    return result;
}

} // namespace vesperkeep
