#include "settings/RegionalSettings.h"
#include "settings/TimeOfDay.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace vesperkeep::test {
namespace {

// The locales come from the private folder named by LOCPATH, compiled there by the test setup.
class RegionalSettingsPosix : public ::testing::Test {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }

    TRegionalSettings In(const char* locale) {
        if (!std::setlocale(LC_ALL, locale))
            ADD_FAILURE() << locale << " is not available (LOCPATH="
                          << (std::getenv("LOCPATH") ? std::getenv("LOCPATH") : "") << ")";
        return ReadRegionalSettings();
    }
};

TEST_F(RegionalSettingsPosix, ComeFromTheLocale) {
    struct TCase {
        const char* Locale;
        const char* TimeSeparator;
        const char* DecimalSeparator;
        const char* Morning;
        const char* Afternoon;
    };
    for (const TCase& c :
         {TCase{"C", ":", ".", "AM", "PM"}, TCase{"en_US.UTF-8", ":", ".", "AM", "PM"},
          TCase{"fi_FI.UTF-8", ".", ",", "", ""}, TCase{"de_DE.UTF-8", ":", ",", "", ""}}) {
        const TRegionalSettings regional = In(c.Locale);
        EXPECT_EQ(regional.TimeSeparator, c.TimeSeparator) << c.Locale;
        EXPECT_EQ(regional.DecimalSeparator, c.DecimalSeparator) << c.Locale;
        EXPECT_EQ(regional.MorningDesignator, c.Morning) << c.Locale;
        EXPECT_EQ(regional.AfternoonDesignator, c.Afternoon) << c.Locale;
    }
}

TEST_F(RegionalSettingsPosix, AreReadAgainOnDemand) {
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("23.30", In("fi_FI.UTF-8"))),
              ToMilliseconds(TimeOfDayFromParts(23, 30, 0, 0)));
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("11:30 PM", In("en_US.UTF-8"))),
              ToMilliseconds(TimeOfDayFromParts(23, 30, 0, 0)));
}

} // namespace
} // namespace vesperkeep::test
