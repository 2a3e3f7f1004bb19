#pragma once

#include "RegionalSettings.h"

#include <cstdint>
#include <string_view>

namespace vesperkeep {

// A time of day as the fraction of a day elapsed since local midnight, 0 <= value < 1 for every
// value read from the clock or parsed from text. Sums are never wrapped at 1.
using TTimeOfDay = double;

constexpr std::int64_t MillisecondsPerDay = 86'400'000;

constexpr TTimeOfDay TimeOfDayFromParts(int hours, int minutes, int seconds, int milliseconds) {
    return static_cast<double>(std::int64_t{hours} * 3'600'000 + std::int64_t{minutes} * 60'000 +
                               std::int64_t{seconds} * 1'000 + milliseconds) /
           static_cast<double>(MillisecondsPerDay);
}

// The value rounded to whole milliseconds, for comparisons that must not depend on how a
// fraction of a day happens to round.
std::int64_t ToMilliseconds(TTimeOfDay value);

// Converts a time text such as "23:30:00", "2:30 PM" or "PM 2:30" under the given regional
// settings. Throws EConvertError "'<text>' is not a valid time" with the text unchanged.
TTimeOfDay ParseTimeOfDay(std::string_view text, const TRegionalSettings& regional);

struct TLocalDate {
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
};

struct TLocalDateTime {
    TLocalDate Date;
    TTimeOfDay Time = 0;
};

// The local wall clock now, with milliseconds; reads the clock anew at every call.
TLocalDateTime CurrentLocalDateTime();
TTimeOfDay CurrentTimeOfDay();

} // namespace vesperkeep
