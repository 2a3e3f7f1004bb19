#include "TimeOfDay.h"

#include <windows.h>

namespace vesperkeep {

TLocalDateTime CurrentLocalDateTime() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    TLocalDateTime result;
    result.Date = {local.wYear, local.wMonth, local.wDay};
    result.Time =
        TimeOfDayFromParts(local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return result;
}

} // namespace vesperkeep
