#pragma once

#include <string>

namespace vesperkeep {

enum class TField { Edit1, Edit2, Edit3, Edit4, Edit5, Edit6 };
enum class TTimerId { Timer1, Timer2, Timer3, Timer4 };

// What the main window offers the schedule: the six setting fields, its timers and the plain
// message box. Field texts are 8-bit texts, byte for byte what the settings file held unless the
// operator edited them.
class TScheduleWindow {
public:
    virtual ~TScheduleWindow() = default;

    virtual std::string FieldText(TField field) const = 0;
    virtual void SetFieldText(TField field, const std::string& text) = 0;

    // Switching on a timer that is on does not restart its count; switching off one that is off
    // does nothing.
    virtual void SetTimerEnabled(TTimerId timer, bool enabled) = 0;
    virtual bool TimerEnabled(TTimerId timer) const = 0;

    // A message box with the text, the application title as caption, OK and no icon.
    virtual void ShowPlainMessage(const std::string& text) = 0;
};

} // namespace vesperkeep
