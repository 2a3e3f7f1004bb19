// Time texts under many regional settings. Whatever the text, ParseTimeOfDay either returns a
// time of day on a whole millisecond in [0, 1) or raises EConvertError "'<text>' is not a valid
// time" with the text unchanged. Texts built here from hours, minutes, seconds, milliseconds and
// a designator must also give exactly the value of those parts, or be refused when a part is out
// of range.
//
// Input, as FuzzedDataProvider splits it: the last byte is the mode; mode bit 0 takes four
// made-up regional texts from the front, otherwise the mode chooses a known set; then the rest is
// the text itself or (mode bit 7, known sets only) the parts, taken from the back.
#include "Printable.h"
#include "settings/Errors.h"
#include "settings/TimeOfDay.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace vesperkeep;

// Regional settings met in practice. In each, the separators are distinct, and no separator or
// designator starts with a digit or a blank, so a text built from parts reads back unambiguously.
const TRegionalSettings KnownRegionalSettings[] = {
    {":", ".", "AM", "PM"},
    {".", ",", "", ""},
    {":", ",", "", ""},
    {":", ".", "vorm.", "nachm."},
    {":", ".", "a.m.", "p.m."},
    {"h", ",", "", ""},
    {":", ".", "\xe4\xb8\x8a\xe5\x8d\x88", "\xe4\xb8\x8b\xe5\x8d\x88"}, // UTF-8 morning, afternoon
    {"::", "'", "am", "pm"},
};
constexpr std::size_t KnownCount = sizeof KnownRegionalSettings / sizeof KnownRegionalSettings[0];

[[noreturn]] void Fail(const char* what, const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "%s\ntext: '%s'\n%s\n", what, fuzz::Printable(text).c_str(),
                 fuzz::Printable(detail).c_str());
    std::abort();
}

// Parses and checks what must hold for every text. Returns whether the text was accepted.
bool ParseAndCheck(const std::string& text, const TRegionalSettings& regional, TTimeOfDay& value) {
    try {
        value = ParseTimeOfDay(text, regional);
    } catch (const EConvertError& error) {
        const std::string expected = "'" + text + "' is not a valid time";
        if (error.Message() != expected)
            Fail("wrong conversion error", text, error.Message());
        return false;
    }
    if (!(value >= 0 && value < 1))
        Fail("value outside [0, 1)", text, std::to_string(value));
    const std::int64_t milliseconds = ToMilliseconds(value);
    if (value != TimeOfDayFromParts(0, 0, 0, static_cast<int>(milliseconds)))
        Fail("value not on a whole millisecond", text, std::to_string(value));
    return true;
}

std::string Blanks(FuzzedDataProvider& input) {
    return std::string(input.ConsumeIntegralInRange<std::size_t>(0, 2), ' ');
}

std::string Number(FuzzedDataProvider& input, int value) {
    return std::string(input.ConsumeIntegralInRange<std::size_t>(0, 3), '0') +
           std::to_string(value);
}

std::string MixedCase(FuzzedDataProvider& input, std::string word) {
    for (char& c : word)
        if (input.ConsumeBool() && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            c = static_cast<char>(c ^ 0x20);
    return word;
}

// Builds a text from parts under a known regional setting and checks the value against the
// parts themselves.
void CheckTextFromParts(FuzzedDataProvider& input, const TRegionalSettings& regional) {
    const int hours = input.ConsumeIntegralInRange(0, 30);
    const int minutes = input.ConsumeIntegralInRange(0, 70);
    const int seconds = input.ConsumeIntegralInRange(0, 70);
    const int milliseconds = input.ConsumeIntegralInRange(0, 1100);
    const bool withMinutes = input.ConsumeBool();
    const bool withSeconds = withMinutes && input.ConsumeBool();
    const bool withMilliseconds = input.ConsumeBool();

    // 0: none, 1: morning, 2: afternoon; as the regional word or as AM/PM.
    const int designator = input.ConsumeIntegralInRange(0, 2);
    const bool regionalWord = input.ConsumeBool();
    const bool leading = input.ConsumeBool();
    std::string word;
    if (designator != 0) {
        const std::string& own =
            designator == 1 ? regional.MorningDesignator : regional.AfternoonDesignator;
        word = MixedCase(input, regionalWord && !own.empty() ? own : designator == 1 ? "AM" : "PM");
    }

    std::string text = Blanks(input);
    if (designator != 0 && leading)
        text += word + Blanks(input);
    text += Number(input, hours);
    if (withMinutes)
        text += Blanks(input) + regional.TimeSeparator + Blanks(input) + Number(input, minutes);
    if (withSeconds)
        text += Blanks(input) + regional.TimeSeparator + Blanks(input) + Number(input, seconds);
    if (withMilliseconds)
        text +=
            Blanks(input) + regional.DecimalSeparator + Blanks(input) + Number(input, milliseconds);
    if (designator != 0 && !leading)
        text += Blanks(input) + word;
    text += Blanks(input);

    const int m = withMinutes ? minutes : 0;
    const int s = withSeconds ? seconds : 0;
    const int ms = withMilliseconds ? milliseconds : 0;
    int h = hours;
    bool valid = m <= 59 && s <= 59 && ms <= 999;
    if (designator != 0) {
        valid = valid && hours >= 1 && hours <= 12;
        h = hours % 12 + (designator == 2 ? 12 : 0);
    }
    valid = valid && h <= 23;

    TTimeOfDay value = 0;
    const bool accepted = ParseAndCheck(text, regional, value);
    if (accepted != valid)
        Fail(valid ? "valid text refused" : "invalid text accepted", text, "");
    if (accepted && value != TimeOfDayFromParts(h, m, s, ms))
        Fail("wrong value", text,
             std::to_string(ToMilliseconds(value)) + " ms instead of " +
                 std::to_string(ToMilliseconds(TimeOfDayFromParts(h, m, s, ms))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto mode = input.ConsumeIntegral<std::uint8_t>();
    TRegionalSettings regional;
    const bool madeUp = mode & 1;
    if (madeUp) {
        regional.TimeSeparator = input.ConsumeRandomLengthString(4);
        regional.DecimalSeparator = input.ConsumeRandomLengthString(4);
        regional.MorningDesignator = input.ConsumeRandomLengthString(8);
        regional.AfternoonDesignator = input.ConsumeRandomLengthString(8);
    } else {
        regional = KnownRegionalSettings[(mode >> 1) % KnownCount];
    }

    if ((mode & 0x80) && !madeUp) {
        CheckTextFromParts(input, regional);
    } else {
        TTimeOfDay value = 0;
        ParseAndCheck(input.ConsumeRemainingBytesAsString(), regional, value);
    }
    return 0;
}
