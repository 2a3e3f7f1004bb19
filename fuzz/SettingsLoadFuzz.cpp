// The settings load from arbitrary bytes, handed over in pieces of a size the input chooses, so
// line ends, CR LF pairs and the end-of-file mark fall across reads. The six values must equal,
// byte for byte, a second reading done here one byte at a time straight from the line rules.
//
// Input: one byte choosing the piece size (below 128: 1 to 16 bytes; otherwise all at once),
// then the file's bytes.
#include "Printable.h"
#include "settings/BackupSettings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace vesperkeep;
using fuzz::Printable;

using TSixValues = std::array<std::string, 6>;

class TPiecewiseBytes final : public TByteSource {
public:
    TPiecewiseBytes(const std::uint8_t* data, std::size_t size, std::size_t pieceSize)
        : Data(data), Size(size), PieceSize(pieceSize) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, PieceSize, Size - Pos});
        std::copy(Data + Pos, Data + Pos + count, buffer);
        Pos += count;
        return count;
    }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t PieceSize;
    std::size_t Pos = 0;
};

// The line rules read literally: a line ends at LF (a CR before it, like any CR, is left out of
// the value), character 26 ends the file, line 1 is always read, lines 2 to 6 only while the
// end has not been reached, and the rest is never looked at.
TSixValues NaiveReading(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    const auto atEnd = [&] {
        return pos >= size || data[pos] == 26;
    };
    const auto readLine = [&] {
        std::string value;
        for (; !atEnd() && data[pos] != '\n'; ++pos)
            if (data[pos] != '\r')
                value += static_cast<char>(data[pos]);
        if (!atEnd())
            ++pos; // the LF
        return value;
    };
    TSixValues values;
    values[0] = readLine();
    for (std::size_t line = 1; line < values.size(); ++line)
        if (!atEnd())
            values[line] = readLine();
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t pieceSize = data[0] < 128 ? 1 + data[0] % 16 : size;
    TPiecewiseBytes source(data + 1, size - 1, pieceSize);
    const TBackupSettings settings = ReadBackupSettings(source, TLocalDate{2024, 3, 5});

    const TSixValues loaded{settings.ShutdownDatabaseCommand,
                            settings.BackupFolder,
                            settings.BackupSource,
                            settings.BackupTime,
                            settings.ShutdownTime,
                            settings.NotShutdownAfterTime};
    const TSixValues expected = NaiveReading(data + 1, size - 1);
    for (std::size_t line = 0; line < loaded.size(); ++line) {
        if (loaded[line] != expected[line]) {
            std::fprintf(stderr, "line %zu: loaded '%s', expected '%s'\n", line + 1,
                         Printable(loaded[line]).c_str(), Printable(expected[line]).c_str());
            std::abort();
        }
    }
    if (settings.ArchiveStamp != "MySQL20240305")
        std::abort();
    return 0;
}
