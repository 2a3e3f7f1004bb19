#pragma once

#include "CommandLine.h"
#include "ScheduleWindow.h"
#include "settings/Clock.h"
#include "settings/RegionalSettings.h"

#include <optional>
#include <string>

namespace vesperkeep {

// The text that precedes the archive name in the archive command line.
inline constexpr std::string_view ArchiveCommandPrefix = "7z.exe a -tzip ";

// "7z.exe a -tzip <archive> <source>". An archive name with a blank and no double quote is put
// in double quotes: the operator cannot quote it, since the stamp is appended to line 2. The
// source stays as the operator wrote it, so it may list several paths or quote them.
std::string ArchiveCommandLine(const std::string& archiveName, const std::string& source);

// The backup side of the schedule: the minute check that stops the database at the backup time,
// the archive step five seconds later, and the two double-click shortcuts.
class TBackupSchedule {
public:
    TBackupSchedule(TScheduleWindow& window, TClock& clock, TLauncher& launcher,
                    const TRegionalSettings& regional);

    // The backup check: starts the backup when the clock lies within two minutes from the backup
    // time, or when it went forward past the backup time since the previous check and now lies
    // less than an hour after it. The first check after start has no previous one.
    void Timer3Timer();
    void Timer4Timer();   // the archive step
    void Edit1DblClick(); // the backup check at once, for this moment only
    void Edit6DblClick(); // the stop command at once, then the archive step

private:
    // A double-click neither looks back to the previous check nor becomes the one a later check
    // looks back to: the operator asks about this moment, and once the periodic check is off the
    // last reading may be hours old.
    void RunBackupCheck(bool periodic);
    void RunStopCommandAndArmArchive();

    TScheduleWindow& Window;
    TClock& Clock;
    TLauncher& Launcher;
    const TRegionalSettings& Regional;
    std::optional<TTimeOfDay> PreviousCheckReading; // of the last periodic check
};

} // namespace vesperkeep
