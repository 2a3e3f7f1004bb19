#include "TimeOfDay.h"

#include "Errors.h"

#include <cmath>
#include <string>

namespace vesperkeep {

std::int64_t ToMilliseconds(TTimeOfDay value) {
    return std::llround(value * static_cast<double>(MillisecondsPerDay));
}

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads a time text with a position that only moves forward. Blanks are spaces only.
class TTimeScanner {
public:
    explicit TTimeScanner(std::string_view text) : Text(text) {}

    void SkipBlanks() {
        while (Pos < Text.size() && Text[Pos] == ' ')
            ++Pos;
    }

    // After blanks: takes the word when the text continues with it, ignoring letter case. An
    // empty word never matches.
    bool TakeWordIgnoringCase(std::string_view word) {
        SkipBlanks();
        if (word.empty() || Text.size() - Pos < word.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (AsciiLower(Text[Pos + i]) != AsciiLower(word[i]))
                return false;
        Pos += word.size();
        return true;
    }

    // After blanks: takes the separator when the text continues with it exactly.
    bool TakeSeparator(std::string_view separator) {
        SkipBlanks();
        if (separator.empty() || Text.substr(Pos, separator.size()) != separator)
            return false;
        Pos += separator.size();
        return true;
    }

    // After blanks: a run of digits, taken while the value read so far is below 1000, so a long
    // run leaves its rest unread. False when no digit stands at the position.
    bool TakeNumber(int& value) {
        SkipBlanks();
        const std::size_t start = Pos;
        value = 0;
        while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9' && value < 1000) {
            value = value * 10 + (Text[Pos] - '0');
            ++Pos;
        }
        return Pos > start;
    }

    bool AtEnd() const { return Pos >= Text.size(); }

private:
    std::string_view Text;
    std::size_t Pos = 0;
};

constexpr int NoDesignator = -1;

// The base hour of a morning (0) or afternoon (12) designator at the position, if any.
int TakeDesignator(TTimeScanner& scanner, const TRegionalSettings& regional) {
    if (scanner.TakeWordIgnoringCase(regional.MorningDesignator) ||
        scanner.TakeWordIgnoringCase("AM"))
        return 0;
    if (scanner.TakeWordIgnoringCase(regional.AfternoonDesignator) ||
        scanner.TakeWordIgnoringCase("PM"))
        return 12;
    return NoDesignator;
}

[[noreturn]] void ThrowNotATime(std::string_view text) {
    std::string message;
    message.reserve(text.size() + 22);
    message += '\'';
    message += text;
    message += "' is not a valid time";
    throw EConvertError(message);
}

} // namespace

TTimeOfDay ParseTimeOfDay(std::string_view text, const TRegionalSettings& regional) {
    TTimeScanner scanner(text);

    int baseHour = TakeDesignator(scanner, regional);
    const bool leadingDesignator = baseHour != NoDesignator;
    if (leadingDesignator)
        scanner.SkipBlanks();

    int hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
    if (!scanner.TakeNumber(hours))
        ThrowNotATime(text);
    // Minutes, seconds and milliseconds are separate tests, not nested ones: "7.5" reads as seven
    // hours and five milliseconds.
    if (scanner.TakeSeparator(regional.TimeSeparator) && !scanner.TakeNumber(minutes))
        ThrowNotATime(text);
    if (scanner.TakeSeparator(regional.TimeSeparator) && !scanner.TakeNumber(seconds))
        ThrowNotATime(text);
    if (scanner.TakeSeparator(regional.DecimalSeparator) && !scanner.TakeNumber(milliseconds))
        ThrowNotATime(text);

    if (!leadingDesignator)
        baseHour = TakeDesignator(scanner, regional);
    if (baseHour != NoDesignator) {
        if (hours < 1 || hours > 12)
            ThrowNotATime(text);
        hours = hours % 12 + baseHour;
    }

    scanner.SkipBlanks();
    if (!scanner.AtEnd() || hours > 23 || minutes > 59 || seconds > 59 || milliseconds > 999)
        ThrowNotATime(text);
    return TimeOfDayFromParts(hours, minutes, seconds, milliseconds);
}

TTimeOfDay CurrentTimeOfDay() {
    return CurrentLocalDateTime().Time;
}

} // namespace vesperkeep
