#pragma once

#include "PowerOff.h"
#include "ScheduleWindow.h"
#include "settings/Clock.h"
#include "settings/RegionalSettings.h"

namespace vesperkeep {

// The five-minute check that forces a power-off while the clock lies strictly between the
// shutdown time and the not-shutdown-after time of the same day.
class TShutdownCheck {
public:
    TShutdownCheck(TScheduleWindow& window, TClock& clock, TPowerOff& powerOff,
                   const TRegionalSettings& regional);

    void Timer2Timer();

private:
    TScheduleWindow& Window;
    TClock& Clock;
    TPowerOff& PowerOff;
    const TRegionalSettings& Regional;
};

} // namespace vesperkeep
