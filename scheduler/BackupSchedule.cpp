#include "BackupSchedule.h"

#include "settings/TimeOfDay.h"

namespace vesperkeep {

namespace {

// The backup starts at the first check that lies in [backup time, backup time + two minutes).
constexpr std::int64_t BackupWindowMilliseconds = 2 * 60'000;

// How far the clock has gone from `from` to `to`, taken forward around the clock, so a window
// that starts just before midnight keeps its full width.
std::int64_t MillisecondsSince(TTimeOfDay from, TTimeOfDay to) {
    const std::int64_t distance = ToMilliseconds(to) - ToMilliseconds(from);
    return distance < 0 ? distance + MillisecondsPerDay : distance;
}

bool HasBlank(const std::string& text) { return text.find_first_of(" \t") != std::string::npos; }

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
    const TTimeOfDay backupTime = ParseTimeOfDay(Window.FieldText(TField::Edit1), Regional);
    const TTimeOfDay now = Clock.CurrentTimeOfDay();
    if (MillisecondsSince(backupTime, now) >= BackupWindowMilliseconds)
        return;

    // The backup runs once per program run.
    Window.SetTimerEnabled(TTimerId::Timer3, false);
    if (Window.FieldText(TField::Edit6).empty())
        return;
    RunStopCommandAndArmArchive();
}

void TBackupSchedule::Edit1DblClick() { Timer3Timer(); }

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
