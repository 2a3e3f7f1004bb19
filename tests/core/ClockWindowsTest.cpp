#include "settings/TimeOfDay.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace vesperkeep::test {
namespace {

std::int64_t MillisecondsOf(const SYSTEMTIME& t) {
    return ToMilliseconds(TimeOfDayFromParts(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds));
}

TEST(ClockWindows, ReadsTheLocalWallClock) {
    SYSTEMTIME before{}, after{};
    TLocalDateTime now;
    // Read again should midnight fall between the readings.
    for (int attempt = 0; attempt < 3; ++attempt) {
        GetLocalTime(&before);
        now = CurrentLocalDateTime();
        GetLocalTime(&after);
        if (before.wDay == after.wDay)
            break;
    }
    EXPECT_EQ(now.Date.Year, before.wYear);
    EXPECT_EQ(now.Date.Month, before.wMonth);
    EXPECT_EQ(now.Date.Day, before.wDay);
    EXPECT_LE(MillisecondsOf(before), ToMilliseconds(now.Time));
    EXPECT_LE(ToMilliseconds(now.Time), MillisecondsOf(after));
}

} // namespace
} // namespace vesperkeep::test
