#pragma once

#include "TimeOfDay.h"

namespace vesperkeep {

// The one place the schedule reads the clock from, so tests can set the time of every reading.
class TClock {
public:
    virtual ~TClock() = default;
    virtual TTimeOfDay CurrentTimeOfDay() = 0;
    virtual TLocalDate Today() = 0;
};

// The local wall clock.
class TSystemClock final : public TClock {
public:
    TTimeOfDay CurrentTimeOfDay() override { return vesperkeep::CurrentTimeOfDay(); }
    TLocalDate Today() override { return CurrentLocalDateTime().Date; }
};

} // namespace vesperkeep
