#include "RegionalSettings.h"

#include <langinfo.h>

#include <string_view>

namespace vesperkeep {

namespace {

// T_FMT may be written with the composite conversions; spell them out so the separator after the
// hours can be found.
std::string ExpandCompositeConversions(std::string_view format) {
    std::string expanded;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            expanded += format[i];
            continue;
        }
        const char conversion = format[++i];
        if (conversion == 'T')
            expanded += "%H:%M:%S";
        else if (conversion == 'R')
            expanded += "%H:%M";
        else if (conversion == 'r')
            expanded += nl_langinfo(T_FMT_AMPM);
        else {
            expanded += '%';
            expanded += conversion;
        }
    }
    return expanded;
}

bool IsHourConversion(char c) {
    return c == 'H' || c == 'I' || c == 'k' || c == 'l';
}

// The literal text between the hours and the next conversion of a time format: ":" for
// "%H:%M:%S", "." for "%H.%M.%S". Empty when the format has no such text.
std::string SeparatorAfterHours(std::string_view format) {
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        std::size_t j = i + 1;
        // Flags, widths and the E/O modifiers of glibc's strftime.
        while (j < format.size() &&
               std::string_view("_-0^#EO123456789").find(format[j]) != std::string_view::npos)
            ++j;
        if (j >= format.size())
            return {};
        if (!IsHourConversion(format[j])) {
            i = j;
            continue;
        }
        std::string separator;
        for (++j; j < format.size() && format[j] != '%'; ++j)
            separator += format[j];
        return separator;
    }
    return {};
}

std::string Text(nl_item item) {
    const char* value = nl_langinfo(item);
    return value ? value : "";
}

} // namespace

TRegionalSettings ReadRegionalSettings() {
    TRegionalSettings regional;
    const std::string timeSeparator = SeparatorAfterHours(ExpandCompositeConversions(Text(T_FMT)));
    if (!timeSeparator.empty())
        regional.TimeSeparator = timeSeparator;
    const std::string decimalSeparator = Text(RADIXCHAR);
    if (!decimalSeparator.empty())
        regional.DecimalSeparator = decimalSeparator;
    // A 24-hour locale has no designators; "AM" and "PM" are still understood.
    regional.MorningDesignator = Text(AM_STR);
    regional.AfternoonDesignator = Text(PM_STR);
    return regional;
}

} // namespace vesperkeep
