#pragma once

#include "ByteSource.h"
#include "TimeOfDay.h"

#include <string>
#include <string_view>

namespace vesperkeep {

// The name the settings are read from, relative to the current working directory.
inline constexpr std::string_view SettingsFileName = "dbbkcfg.txt";

// The values of the six-line settings file, in 8-bit text exactly as they stand in the file, and
// the stamp that ends the archive name.
struct TBackupSettings {
    std::string ShutdownDatabaseCommand; // line 1
    std::string BackupFolder;            // line 2, the archive path up to the stamp
    std::string BackupSource;            // line 3
    std::string BackupTime;              // line 4
    std::string ShutdownTime;            // line 5
    std::string NotShutdownAfterTime;    // line 6
    std::string ArchiveStamp;            // "MySQL" + yyyyMMdd of the day the program started
};

// "MySQL" followed by the date as yyyyMMdd, whatever the regional date format.
std::string ArchiveStampFor(const TLocalDate& date);

// Reads the settings file. A line ends at LF or CR LF, a CR on its own is dropped from the value,
// character 26 ends the file, and lines after the sixth are ignored. Throws EInOutError when the
// file cannot be opened or read; nothing is returned then.
TBackupSettings LoadBackupSettings(const std::string& fileName, const TLocalDate& today);

// The same reading from any source of bytes, read in whatever pieces the source returns.
TBackupSettings ReadBackupSettings(TByteSource& source, const TLocalDate& today);

} // namespace vesperkeep
