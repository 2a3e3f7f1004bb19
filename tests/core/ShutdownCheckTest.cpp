#include "scheduler/ShutdownCheck.h"
#include "Fakes.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

namespace vesperkeep::test {
namespace {

class ShutdownCheckTest : public ::testing::Test {
protected:
    void SetTimes(const char* shutdownTime, const char* notAfterTime) {
        window.Fields[TField::Edit2] = shutdownTime;
        window.Fields[TField::Edit5] = notAfterTime;
    }
    bool PowersOffAt(TTimeOfDay now) {
        const std::size_t before = powerOff.Requests.size();
        clock.Now = now;
        check.Timer2Timer();
        return powerOff.Requests.size() > before;
    }

    TFakeWindow window;
    TFakeClock clock;
    TRecordingPowerOff powerOff;
    TRegionalSettings regional;
    TShutdownCheck check{window, clock, powerOff, regional};
};

struct TShutdownCase {
    const char* ShutdownTime;
    const char* NotAfterTime;
    TTimeOfDay Check;
    bool PowersOff;
};

class ShutdownWindow : public ShutdownCheckTest,
                       public ::testing::WithParamInterface<TShutdownCase> {};

TEST_P(ShutdownWindow, OpensStrictlyBetweenItsBoundsOnOneDay) {
    SetTimes(GetParam().ShutdownTime, GetParam().NotAfterTime);
    EXPECT_EQ(PowersOffAt(GetParam().Check), GetParam().PowersOff);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShutdownWindow,
    ::testing::Values(TShutdownCase{"03:00:00", "04:00:00", At(3, 0), false},
                      TShutdownCase{"03:00:00", "04:00:00", At(3, 0, 0, 1), true},
                      TShutdownCase{"03:00:00", "04:00:00", At(3, 59, 59, 999), true},
                      TShutdownCase{"03:00:00", "04:00:00", At(4, 0), false},
                      TShutdownCase{"03:00:00", "04:00:00", At(2, 0), false},
                      // Around midnight the window never opens.
                      TShutdownCase{"23:00:00", "01:00:00", At(23, 30), false},
                      TShutdownCase{"23:00:00", "01:00:00", At(0, 30), false},
                      // A not-shutdown-after time at or before the shutdown time means never.
                      TShutdownCase{"03:00:00", "03:00:00", At(3, 0, 1), false},
                      TShutdownCase{"03:00:00", "02:00:00", At(3, 30), false}));

TEST_F(ShutdownCheckTest, AsksForAForcedPowerOffAtEveryCheckInsideTheWindow) {
    SetTimes("03:00:00", "04:00:00");
    // Started inside the window: the first check, five minutes later, switches off; a refusal
    // is asked again at every following check.
    EXPECT_TRUE(PowersOffAt(At(3, 10)));
    EXPECT_TRUE(PowersOffAt(At(3, 15)));
    EXPECT_EQ(powerOff.Requests, (std::vector<unsigned>{12u, 12u}));
    EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer2));
}

TEST_F(ShutdownCheckTest, ReadsTheClockAfreshForEachBound) {
    SetTimes("03:00:00", "04:00:00");
    clock.NextReadings = {At(3, 59, 59), At(4, 0, 0)};
    check.Timer2Timer();
    EXPECT_TRUE(powerOff.Requests.empty());
    EXPECT_EQ(clock.Readings, 2);
}

TEST_F(ShutdownCheckTest, ReportsABadShutdownTimeAtEveryCheck) {
    SetTimes("3 o'clock", "04:00:00");
    for (int i = 0; i < 2; ++i) {
        try {
            PowersOffAt(At(3, 30));
            FAIL();
        } catch (const EConvertError& error) {
            EXPECT_STREQ(error.what(), "'3 o'clock' is not a valid time");
        }
    }
}

TEST_F(ShutdownCheckTest, ReportsABadNotAfterTimeOnlyOnceTheShutdownTimeHasPassed) {
    SetTimes("03:00:00", "");
    EXPECT_FALSE(PowersOffAt(At(2, 55)));
    EXPECT_THROW(PowersOffAt(At(3, 5)), EConvertError);
    EXPECT_THROW(PowersOffAt(At(3, 10)), EConvertError);
    EXPECT_TRUE(powerOff.Requests.empty());
}

} // namespace
} // namespace vesperkeep::test
