#include "BackupSchedule.h"

#include "settings/TimeOfDay.h"

#include <utility>

namespace vesperkeep {

namespace {

// The backup starts at the first check that lies in [backup time, backup time + two minutes).
constexpr std::int64_t BackupWindowMilliseconds = 2 * 60'000;

// A clock that jumps forward over the window still starts the backup, but only this long after
// the backup time: later than that the database is likely in use again.
constexpr std::int64_t LatestJumpStartMilliseconds = 60 * 60'000;

// The time of day alone cannot tell the clock set back a little from a step forward of almost a
// day, so a step of this much or more between two checks is taken as the clock set back. A real
// step forward that long comes only from a long sleep, after which the hour above nearly always
// rules out a start anyway.
constexpr std::int64_t LongestForwardStepMilliseconds = 12 * 60 * 60'000;

// How far the clock has gone from `from` to `to`, taken forward around the clock, so a window
// that starts just before midnight keeps its full width.
std::int64_t MillisecondsSince(TTimeOfDay from, TTimeOfDay to) {
    const std::int64_t distance = ToMilliseconds(to) - ToMilliseconds(from);
    return distance < 0 ? distance + MillisecondsPerDay : distance;
}

// True when the clock went forward from `previous` to `now` past the backup time, and `now` is
// still less than an hour after it.
bool JumpedOverBackupTime(TTimeOfDay previous, TTimeOfDay now, TTimeOfDay backupTime) {
    const std::int64_t step = MillisecondsSince(previous, now);
    if (step >= LongestForwardStepMilliseconds)
        return false;
    const std::int64_t toBackupTime = MillisecondsSince(previous, backupTime);
    return toBackupTime > 0 && toBackupTime <= step &&
           step - toBackupTime < LatestJumpStartMilliseconds;
}

bool HasBlank(const std::string& text) {
    return text.find_first_of(" \t") != std::string::npos;
}

} // namespace

std::string ArchiveCommandLine(const std::string& archiveName, const std::string& source) {
    std::string commandLine(ArchiveCommandPrefix);
    if (HasBlank(archiveName) && archiveName.find('"') == std::string::npos)
        commandLine += '"' + archiveName + '"';
    else
        commandLine += archiveName;
    commandLine += ' ';
    commandLine += source;
    return commandLine;
}

TBackupSchedule::TBackupSchedule(TScheduleWindow& window, TClock& clock, TLauncher& launcher,
                                 const TRegionalSettings& regional)
    : Window(window), Clock(clock), Launcher(launcher), Regional(regional) {}

void TBackupSchedule::Timer3Timer() {
    RunBackupCheck(true);
}

void TBackupSchedule::RunBackupCheck(bool periodic) {
    const TTimeOfDay now = Clock.CurrentTimeOfDay();
    // Kept before the backup time is parsed, so a check that fails on a bad time still counts:
    // the next check then looks back one minute, not to whenever the time was last good.
    std::optional<TTimeOfDay> previous;
    if (periodic)
        previous = std::exchange(PreviousCheckReading, now);
    const TTimeOfDay backupTime = ParseTimeOfDay(Window.FieldText(TField::Edit1), Regional);
    const bool inWindow = MillisecondsSince(backupTime, now) < BackupWindowMilliseconds;
    if (!inWindow && !(previous && JumpedOverBackupTime(*previous, now, backupTime)))
        return;

    // The backup runs once per program run.
    Window.SetTimerEnabled(TTimerId::Timer3, false);
    if (Window.FieldText(TField::Edit6).empty())
        return;
    RunStopCommandAndArmArchive();
}

void TBackupSchedule::Edit1DblClick() {
    RunBackupCheck(false);
}

void TBackupSchedule::Edit6DblClick() {
    if (Window.FieldText(TField::Edit6).empty())
        return;
    RunStopCommandAndArmArchive();
}

void TBackupSchedule::RunStopCommandAndArmArchive() {
    // The one local guard: whatever goes wrong while starting the stop command is shown as
    // "Command error" and goes no further.
    try {
        Launcher.RunCommandLine(Window.FieldText(TField::Edit6));
        Window.SetTimerEnabled(TTimerId::Timer4, true);
    } catch (...) {
        Window.ShowPlainMessage("Command error");
    }
}

void TBackupSchedule::Timer4Timer() {
    Window.SetTimerEnabled(TTimerId::Timer4, false);
    const std::string source = Window.FieldText(TField::Edit3);
    const std::string archiveName = Window.FieldText(TField::Edit4);
    if (source.empty() || archiveName.empty())
        return;
    Launcher.RunCommandLine(ArchiveCommandLine(archiveName, source));
}

} // namespace vesperkeep
