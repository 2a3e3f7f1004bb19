#include "settings/TimeOfDay.h"
#include "Fakes.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

namespace vesperkeep::test {
namespace {

struct TValidTime {
    const char* Text;
    TTimeOfDay Expected;
};

class ValidTimes : public ::testing::TestWithParam<TValidTime> {};

TEST_P(ValidTimes, ParseToTheirValue) {
    const TValidTime& c = GetParam();
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay(c.Text, TRegionalSettings{})),
              ToMilliseconds(c.Expected))
        << "'" << c.Text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    DefaultRegionalSettings, ValidTimes,
    ::testing::Values(TValidTime{"02:30:00", At(2, 30)}, TValidTime{"2:30", At(2, 30)},
                      TValidTime{"2", At(2, 0)}, TValidTime{" 2:30 ", At(2, 30)},
                      TValidTime{"2 : 30", At(2, 30)}, TValidTime{"2:30 PM", At(14, 30)},
                      TValidTime{"PM 2:30", At(14, 30)}, TValidTime{"2:30pm", At(14, 30)},
                      TValidTime{"am 2:30", At(2, 30)}, TValidTime{"12:00 AM", At(0, 0)},
                      TValidTime{"12:00 PM", At(12, 0)}, TValidTime{"11:59:59 PM", At(23, 59, 59)},
                      TValidTime{"23:59:59.999", At(23, 59, 59, 999)},
                      // Minutes, seconds and milliseconds are independent tests.
                      TValidTime{"7.5", At(7, 0, 0, 5)}, TValidTime{"7:5.250", At(7, 5, 0, 250)},
                      // Leading zeros do not use up the four digits a number may take.
                      TValidTime{"00012", At(12, 0)}, TValidTime{"0:0:0", 0.0},
                      TValidTime{"00:02:00", At(0, 2)}));

class InvalidTimes : public ::testing::TestWithParam<std::string> {};

TEST_P(InvalidTimes, RaiseTheConversionErrorWithTheTextUnchanged) {
    const std::string text = GetParam();
    try {
        ParseTimeOfDay(text, TRegionalSettings{});
        FAIL() << "'" << text << "' was accepted";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.Message(), "'" + text + "' is not a valid time");
    }
}

INSTANTIATE_TEST_SUITE_P(
    DefaultRegionalSettings, InvalidTimes,
    ::testing::Values("24:00", "2:60", "2:30:60", "12:00:00x", "", "   ", "0:30 PM", "13:00 PM",
                      "2:", "2:30:", "2.", ":30", "\t2:30", "2:30\t", "AM", "PM 2:30 PM",
                      "2:30 AM PM", "2:30:00.1000", "12345", "11111", "-1", "2;30",
                      // Four digits are taken; the rest of the run stays unread.
                      "99999",
                      // A NUL from the settings file stays in the message, which goes on past it.
                      std::string("02:00\0:00", 9)));

TEST(ParseTimeOfDay, FollowsTheRegionalSeparatorsAndDesignators) {
    TRegionalSettings finnish;
    finnish.TimeSeparator = ".";
    finnish.DecimalSeparator = ",";
    finnish.MorningDesignator = "";
    finnish.AfternoonDesignator = "";
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("23.30.15,5", finnish)),
              ToMilliseconds(At(23, 30, 15, 5)));
    // An empty designator never matches, but "AM" and "PM" always do.
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("2.30 PM", finnish)), ToMilliseconds(At(14, 30)));
    // The two-minute text of other programs only reads as two minutes under ":".
    EXPECT_THROW(ParseTimeOfDay("00:02:00", finnish), EConvertError);

    TRegionalSettings designated;
    designated.MorningDesignator = "vorm.";
    designated.AfternoonDesignator = "NACHM.";
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("3:15 nachm.", designated)),
              ToMilliseconds(At(15, 15)));
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("VORM. 12:15", designated)), ToMilliseconds(At(0, 15)));

    TRegionalSettings longSeparator;
    longSeparator.TimeSeparator = "h";
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("7h05", longSeparator)), ToMilliseconds(At(7, 5)));
    EXPECT_THROW(ParseTimeOfDay("7:05", longSeparator), EConvertError);
}

TEST(ParseTimeOfDay, KeepsEveryValueBelowOneDay) {
    const TTimeOfDay last = ParseTimeOfDay("23:59:59.999", TRegionalSettings{});
    EXPECT_LT(last, 1.0);
    EXPECT_DOUBLE_EQ(ParseTimeOfDay("12:00", TRegionalSettings{}), 0.5);
}

TEST(CurrentTimeOfDay, ReadsTheClockAfreshWithinOneDay) {
    const TLocalDateTime now = CurrentLocalDateTime();
    EXPECT_GE(now.Time, 0.0);
    EXPECT_LT(now.Time, 1.0);
    EXPECT_GE(now.Date.Year, 2024);
    EXPECT_GE(now.Date.Month, 1);
    EXPECT_LE(now.Date.Month, 12);
    EXPECT_GE(now.Date.Day, 1);
    EXPECT_LE(now.Date.Day, 31);
}

} // namespace
} // namespace vesperkeep::test
