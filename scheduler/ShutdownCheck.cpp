#include "ShutdownCheck.h"

#include "settings/TimeOfDay.h"

namespace vesperkeep {

TShutdownCheck::TShutdownCheck(TScheduleWindow& window, TClock& clock, TPowerOff& powerOff,
                               const TRegionalSettings& regional)
    : Window(window), Clock(clock), PowerOff(powerOff), Regional(regional) {}

void TShutdownCheck::Timer2Timer() {
    // Both bounds are excluded, and the window never runs past midnight: a not-shutdown-after
    // time at or before the shutdown time switches the shutdown off.
    const TTimeOfDay shutdownTime = ParseTimeOfDay(Window.FieldText(TField::Edit2), Regional);
    if (ToMilliseconds(Clock.CurrentTimeOfDay()) <= ToMilliseconds(shutdownTime))
        return;
    // Parsed only once the shutdown time has passed.
    const TTimeOfDay notAfterTime = ParseTimeOfDay(Window.FieldText(TField::Edit5), Regional);
    if (ToMilliseconds(Clock.CurrentTimeOfDay()) >= ToMilliseconds(notAfterTime))
        return;
    // A refusal is not reported; the timer stays on and the next check asks again.
    PowerOff.PowerOffComputer(ExitWindowsPowerOff | ExitWindowsForce);
}

} // namespace vesperkeep
