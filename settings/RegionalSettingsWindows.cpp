#include "RegionalSettings.h"

#include <windows.h>

#include <optional>

namespace vesperkeep {

namespace {

// The user's value of one locale item in the ANSI code page; nothing when the system gives none.
std::optional<std::string> LocaleText(LCTYPE item) {
    char buffer[128] = {};
    // The length counts the closing NUL, so 0 means failure and 1 an empty value.
    const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof buffer);
    if (length <= 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(length - 1));
}

} // namespace

TRegionalSettings ReadRegionalSettings() {
    TRegionalSettings regional;
    // The separators cannot be empty; the designators are empty in 24-hour locales, and "AM" and
    // "PM" are still understood then.
    if (const auto text = LocaleText(LOCALE_STIME); text && !text->empty())
        regional.TimeSeparator = *text;
    if (const auto text = LocaleText(LOCALE_SDECIMAL); text && !text->empty())
        regional.DecimalSeparator = *text;
    if (const auto text = LocaleText(LOCALE_S1159))
        regional.MorningDesignator = *text;
    if (const auto text = LocaleText(LOCALE_S2359))
        regional.AfternoonDesignator = *text;
    return regional;
}

} // namespace vesperkeep
