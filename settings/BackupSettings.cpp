#include "BackupSettings.h"

#include "SettingsFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace vesperkeep {

namespace {

constexpr char EndOfFileMark = 26; // Ctrl-Z

// Reads the settings line by line in chunks, so a line of any length loads while nothing
// past the sixth line is read.
class TLineReader {
public:
    explicit TLineReader(TByteSource& source) : Source(source), Buffer(64 * 1024) {}

    // True at the end of the file or at the end-of-file mark.
    bool Eof() {
        if (!Fill())
            return true;
        if (Buffer[Pos] == EndOfFileMark) {
            Ended = true;
            return true;
        }
        return false;
    }

    // The next line without its terminator (LF or CR LF) and without any lone CR.
    std::string ReadLine() {
        std::string line;
        while (Fill()) {
            const auto begin = Buffer.begin() + static_cast<std::ptrdiff_t>(Pos);
            const auto end = Buffer.begin() + static_cast<std::ptrdiff_t>(Length);
            const auto stop = std::find_if(
                begin, end, [](char c) { return c == '\n' || c == '\r' || c == EndOfFileMark; });
            line.append(begin, stop);
            Pos += static_cast<std::size_t>(stop - begin);
            if (stop == end)
                continue;
            if (*stop == EndOfFileMark) {
                Ended = true;
                break;
            }
            ++Pos;
            if (*stop == '\n')
                break;
        }
        return line;
    }

private:
    // False once nothing is left to read.
    bool Fill() {
        if (Ended)
            return false;
        if (Pos < Length)
            return true;
        Pos = 0;
        Length = Source.Read(Buffer.data(), Buffer.size());
        if (Length == 0)
            Ended = true;
        return !Ended;
    }

    TByteSource& Source;
    std::vector<char> Buffer;
    std::size_t Pos = 0;
    std::size_t Length = 0;
    bool Ended = false;
};

} // namespace

std::string ArchiveStampFor(const TLocalDate& date) {
    std::array<char, 32> digits{};
    std::snprintf(digits.data(), digits.size(), "%04d%02d%02d", date.Year, date.Month, date.Day);
    return std::string("MySQL") + digits.data();
}

TBackupSettings LoadBackupSettings(const std::string& fileName, const TLocalDate& today) {
    TSettingsFile file(fileName);
    return ReadBackupSettings(file, today);
}

TBackupSettings ReadBackupSettings(TByteSource& source, const TLocalDate& today) {
    TLineReader reader(source);
    TBackupSettings settings;
    // The first line is read even from an empty file; each later one only while lines remain.
    settings.ShutdownDatabaseCommand = reader.ReadLine();
    for (std::string* value : {&settings.BackupFolder, &settings.BackupSource, &settings.BackupTime,
                               &settings.ShutdownTime, &settings.NotShutdownAfterTime}) {
        if (!reader.Eof())
            *value = reader.ReadLine();
    }
    settings.ArchiveStamp = ArchiveStampFor(today);
    return settings;
}

} // namespace vesperkeep
