#include "scheduler/BackupSchedule.h"
#include "Fakes.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

namespace vesperkeep::test {
namespace {

class BackupScheduleTest : public ::testing::Test {
protected:
    BackupScheduleTest() {
        window.Fields[TField::Edit1] = "02:00:00";
        window.Fields[TField::Edit3] = "C:\\data";
        window.Fields[TField::Edit4] = "D:\\backup\\MySQL20240305";
        window.Fields[TField::Edit6] = "stopdb --now";
    }

    // Runs the backup check at each of the times and returns the ones that started the backup.
    std::vector<TTimeOfDay> ChecksThatStartTheBackup(const std::vector<TTimeOfDay>& times) {
        std::vector<TTimeOfDay> starts;
        for (const TTimeOfDay time : times) {
            if (!window.TimerEnabled(TTimerId::Timer3))
                break; // the timer delivers no further checks once it is off
            const std::size_t before = launcher.CommandLines.size();
            clock.Now = time;
            schedule.Timer3Timer();
            if (launcher.CommandLines.size() > before)
                starts.push_back(time);
        }
        return starts;
    }

    TFakeWindow window;
    TFakeClock clock;
    TRecordingLauncher launcher;
    TRegionalSettings regional;
    TBackupSchedule schedule{window, clock, launcher, regional};
};

TEST_F(BackupScheduleTest, StartsAtTheFirstCheckInsideTheTwoMinutesAndOnlyOnce) {
    EXPECT_EQ(ChecksThatStartTheBackup({At(1, 59, 40), At(2, 0, 40), At(2, 1, 40)}),
              std::vector<TTimeOfDay>{At(2, 0, 40)});
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer3));
    EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer4));
    EXPECT_EQ(launcher.CommandLines, std::vector<std::string>{"stopdb --now"});
}

TEST_F(BackupScheduleTest, StartsOnceWhenTwoChecksFallInsideTheWindow) {
    EXPECT_EQ(ChecksThatStartTheBackup({At(1, 59, 10), At(2, 0, 10), At(2, 1, 10)}),
              std::vector<TTimeOfDay>{At(2, 0, 10)});
}

struct TWindowBound {
    const char* BackupTime;
    TTimeOfDay Check;
    bool Starts;
};

class BackupWindowBounds : public BackupScheduleTest,
                           public ::testing::WithParamInterface<TWindowBound> {};

TEST_P(BackupWindowBounds, IncludeTheBackupTimeAndExcludeTwoMinutesLater) {
    window.Fields[TField::Edit1] = GetParam().BackupTime;
    clock.Now = GetParam().Check;
    schedule.Timer3Timer();
    EXPECT_EQ(launcher.CommandLines.size(), GetParam().Starts ? 1u : 0u);
    EXPECT_EQ(window.TimerEnabled(TTimerId::Timer3), !GetParam().Starts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupWindowBounds,
    ::testing::Values(TWindowBound{"02:00:00", At(1, 59, 59, 999), false},
                      TWindowBound{"02:00:00", At(2, 0), true},
                      TWindowBound{"02:00:00", At(2, 1, 59, 999), true},
                      TWindowBound{"02:00:00", At(2, 2), false},
                      TWindowBound{"02:00:00", At(14, 0), false},
                      // The window runs on past midnight with its full two minutes.
                      TWindowBound{"23:59:30", At(23, 59, 45), true},
                      TWindowBound{"23:59:30", At(0, 0, 10), true},
                      TWindowBound{"23:59:30", At(0, 1, 29, 999), true},
                      TWindowBound{"23:59:30", At(0, 1, 30), false},
                      TWindowBound{"23:59:30", At(23, 59, 29), false},
                      TWindowBound{"00:00:00", At(23, 59, 59), false}));

TEST_F(BackupScheduleTest, MissesARunStartedNinetySecondsAfterTheBackupTime) {
    // The first check comes a minute after start.
    EXPECT_TRUE(ChecksThatStartTheBackup({At(2, 2, 30), At(2, 3, 30)}).empty());
    EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer3));
}

struct TClockJump {
    const char* Name;
    const char* BackupTime;
    std::vector<TTimeOfDay> Checks;
    std::vector<TTimeOfDay> Starts;

    friend void PrintTo(const TClockJump& jump, std::ostream* out) { *out << jump.Name; }
};

class BackupClockJumps : public BackupScheduleTest,
                         public ::testing::WithParamInterface<TClockJump> {};

TEST_P(BackupClockJumps, StartTheBackupOnlyWithinAnHourAfterAJumpForward) {
    window.Fields[TField::Edit1] = GetParam().BackupTime;
    EXPECT_EQ(ChecksThatStartTheBackup(GetParam().Checks), GetParam().Starts);
    EXPECT_EQ(window.TimerEnabled(TTimerId::Timer3), GetParam().Starts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupClockJumps,
    ::testing::Values(
        TClockJump{"OverTheWindow", "02:30:00", {At(1, 59, 30), At(3, 0, 30)}, {At(3, 0, 30)}},
        TClockJump{"LandingInsideTheWindow", "02:00:00", {At(1, 59, 30), At(2, 1)}, {At(2, 1)}},
        TClockJump{"OnToTheBackupTime", "02:00:00", {At(1, 50), At(2, 0)}, {At(2, 0)}},
        TClockJump{"JustUnderAnHourPast",
                   "02:00:00",
                   {At(1, 59, 30), At(2, 59, 59, 999)},
                   {At(2, 59, 59, 999)}},
        TClockJump{"AnHourPast", "02:00:00", {At(1, 59, 30), At(3, 0), At(3, 1)}, {}},
        TClockJump{"OverMidnight", "23:59:30", {At(23, 58), At(0, 30)}, {At(0, 30)}},
        TClockJump{"ToJustAfterMidnight", "00:10:00", {At(23, 50), At(0, 40)}, {At(0, 40)}},
        // A start at 02:30 for a backup at 02:00 misses it for this run, jump or no jump.
        TClockJump{"FirstCheckHasNoPreviousOne", "02:00:00", {At(2, 30), At(2, 31)}, {}},
        TClockJump{"LongSleep", "02:00:00", {At(22, 0), At(7, 0)}, {}},
        // The time was already past when the previous check ran.
        TClockJump{"BackupTimeAtThePreviousCheck", "02:00:00", {At(2, 2), At(2, 3)}, {}},
        // The clock set back an hour from 02:59:30 must not read as a step of 23 hours forward
        // over a backup time at 01:30.
        TClockJump{"SetBackAnHour",
                   "01:30:00",
                   {At(1, 45), At(2, 59, 30), At(2, 0, 30), At(2, 1, 30)},
                   {}},
        TClockJump{"SetBackAMinute", "14:00:00", {At(14, 5), At(14, 3), At(14, 4)}, {}},
        // Set back before the backup time, the clock reaches it again and the plain rule holds.
        TClockJump{"SetBackBeforeTheBackupTime",
                   "02:00:00",
                   {At(2, 30), At(1, 59), At(2, 0, 10)},
                   {At(2, 0, 10)}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(BackupScheduleTest, CountsACheckThatFailedOnABadTimeAsThePreviousOne) {
    clock.Now = At(1, 50);
    schedule.Timer3Timer();
    window.Fields[TField::Edit1] = "2:";
    clock.Now = At(2, 9);
    EXPECT_THROW(schedule.Timer3Timer(), EConvertError);
    // Put right at 02:10: the backup time lies before the failed check, so it is not caught up.
    window.Fields[TField::Edit1] = "02:00:00";
    clock.Now = At(2, 10);
    schedule.Timer3Timer();
    EXPECT_TRUE(launcher.CommandLines.empty());
}

TEST_F(BackupScheduleTest, DoubleClickOnTheBackupTimeLeavesTheJumpToThePeriodicCheck) {
    clock.Now = At(1, 59, 30);
    schedule.Timer3Timer();
    // The clock jumps to 02:30; the double-click asks about this moment only.
    clock.Now = At(2, 30);
    schedule.Edit1DblClick();
    EXPECT_TRUE(launcher.CommandLines.empty());
    // The periodic check still looks back to its own previous reading.
    clock.Now = At(2, 30, 30);
    schedule.Timer3Timer();
    EXPECT_EQ(launcher.CommandLines, std::vector<std::string>{"stopdb --now"});
}

TEST_F(BackupScheduleTest, SwitchesItselfOffButStartsNothingWithoutAStopCommand) {
    window.Fields[TField::Edit6] = "";
    clock.Now = At(2, 0, 30);
    schedule.Timer3Timer();
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer3));
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer4));
    EXPECT_TRUE(launcher.CommandLines.empty());
}

TEST_F(BackupScheduleTest, ReportsABadBackupTimeAtEveryCheckAndStaysOn) {
    for (const char* text : {"", "25:00", "2:30 xyz"}) {
        window.Fields[TField::Edit1] = text;
        try {
            schedule.Timer3Timer();
            FAIL() << text;
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' is not a valid time");
        }
        EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer3));
    }
}

TEST_F(BackupScheduleTest, KeepsItsTwoMinutesUnderAnotherTimeSeparator) {
    regional.TimeSeparator = ".";
    window.Fields[TField::Edit1] = "02.00.00";
    clock.Now = At(2, 1);
    schedule.Timer3Timer();
    EXPECT_EQ(launcher.CommandLines.size(), 1u);
}

TEST_F(BackupScheduleTest, ShowsCommandErrorWhenTheStopCommandCannotStart) {
    launcher.Fail = true;
    clock.Now = At(2, 0, 30);
    EXPECT_NO_THROW(schedule.Timer3Timer());
    EXPECT_EQ(window.PlainMessages, std::vector<std::string>{"Command error"});
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer4));
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer3));
}

TEST_F(BackupScheduleTest, BackupTimeDoubleClickRunsTheCheckAtOnce) {
    clock.Now = At(1, 0);
    schedule.Edit1DblClick();
    EXPECT_TRUE(launcher.CommandLines.empty());
    EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer3));

    clock.Now = At(2, 0, 5);
    schedule.Edit1DblClick();
    // Inside the window it starts again even though the periodic check is off by now.
    clock.Now = At(2, 1);
    schedule.Edit1DblClick();
    EXPECT_EQ(launcher.CommandLines.size(), 2u);
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer3));
}

TEST_F(BackupScheduleTest, StopCommandDoubleClickStartsItAndArmsTheArchiveOnce) {
    schedule.Edit6DblClick();
    schedule.Edit6DblClick();
    EXPECT_EQ(launcher.CommandLines.size(), 2u);
    EXPECT_EQ(window.Timer4Armings, 1);
    EXPECT_TRUE(window.TimerEnabled(TTimerId::Timer3)); // the periodic check is left alone
    schedule.Timer4Timer();
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer4));
    EXPECT_EQ(launcher.CommandLines.back(), "7z.exe a -tzip D:\\backup\\MySQL20240305 C:\\data");
    EXPECT_EQ(launcher.CommandLines.size(), 3u);
}

TEST_F(BackupScheduleTest, StopCommandDoubleClickDoesNothingWhenEmpty) {
    window.Fields[TField::Edit6] = "";
    schedule.Edit6DblClick();
    EXPECT_TRUE(launcher.CommandLines.empty());
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer4));
}

TEST_F(BackupScheduleTest, ArchiveStepNeedsBothSourceAndArchiveName) {
    for (const TField empty : {TField::Edit3, TField::Edit4}) {
        TFakeWindow other = window;
        other.Fields[empty] = "";
        other.Timers[TTimerId::Timer4] = true;
        TBackupSchedule step(other, clock, launcher, regional);
        step.Timer4Timer();
        EXPECT_FALSE(other.TimerEnabled(TTimerId::Timer4));
    }
    EXPECT_TRUE(launcher.CommandLines.empty());
}

TEST_F(BackupScheduleTest, ArchiveStepHasNoGuard) {
    launcher.Fail = true;
    window.Timers[TTimerId::Timer4] = true;
    EXPECT_THROW(schedule.Timer4Timer(), std::runtime_error);
    EXPECT_FALSE(window.TimerEnabled(TTimerId::Timer4));
}

} // namespace
} // namespace vesperkeep::test
