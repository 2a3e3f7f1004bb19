#pragma once

#include "scheduler/CommandLine.h"
#include "scheduler/PowerOff.h"
#include "scheduler/ScheduleWindow.h"
#include "settings/Clock.h"
#include "settings/TimeOfDay.h"

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesperkeep::test {

inline TTimeOfDay At(int hours, int minutes, int seconds = 0, int milliseconds = 0) {
    return TimeOfDayFromParts(hours, minutes, seconds, milliseconds);
}

// A clock whose readings the test sets: either one time for every reading, or a queue of
// readings taken one by one.
class TFakeClock final : public TClock {
public:
    TTimeOfDay Now = 0;
    std::deque<TTimeOfDay> NextReadings;
    TLocalDate Date{2024, 3, 5};
    int Readings = 0;

    TTimeOfDay CurrentTimeOfDay() override {
        ++Readings;
        if (!NextReadings.empty()) {
            Now = NextReadings.front();
            NextReadings.pop_front();
        }
        return Now;
    }
    TLocalDate Today() override { return Date; }
};

// The window as the schedule sees it: fields, timers with the window's switch semantics, and
// the plain messages it was asked to show.
class TFakeWindow final : public TScheduleWindow {
public:
    std::map<TField, std::string> Fields;
    std::map<TTimerId, bool> Timers{{TTimerId::Timer1, true},
                                    {TTimerId::Timer2, true},
                                    {TTimerId::Timer3, true},
                                    {TTimerId::Timer4, false}};
    std::vector<std::string> PlainMessages;
    std::vector<TField> FieldWrites;
    int Timer4Armings = 0; // switches of Timer4 from off to on

    std::string FieldText(TField field) const override {
        const auto found = Fields.find(field);
        return found == Fields.end() ? std::string() : found->second;
    }
    void SetFieldText(TField field, const std::string& text) override {
        Fields[field] = text;
        FieldWrites.push_back(field);
    }
    void SetTimerEnabled(TTimerId timer, bool enabled) override {
        if (timer == TTimerId::Timer4 && enabled && !Timers[timer])
            ++Timer4Armings;
        Timers[timer] = enabled;
    }
    bool TimerEnabled(TTimerId timer) const override { return Timers.at(timer); }
    void ShowPlainMessage(const std::string& text) override { PlainMessages.push_back(text); }
};

class TRecordingLauncher final : public TLauncher {
public:
    std::vector<std::string> CommandLines;
    bool Fail = false;

    void RunCommandLine(const std::string& commandLine) override {
        if (Fail)
            throw std::runtime_error("cannot start");
        CommandLines.push_back(commandLine);
    }
};

class TRecordingPowerOff final : public TPowerOff {
public:
    std::vector<unsigned> Requests;
    bool Accept = false;

    bool PowerOffComputer(unsigned flags) override {
        Requests.push_back(flags);
        return Accept;
    }
};

} // namespace vesperkeep::test
