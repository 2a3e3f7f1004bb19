#pragma once

#include <QTimer>

#include <chrono>

namespace vesperkeep {

// A timer switched on and off like a setting: switching on a timer that runs keeps its count
// going (QTimer::start would begin it again), switching off one that is off does nothing.
class TSwitchTimer {
public:
    // The timer is a named child of the owner, so it stops with it and can be found by name.
    TSwitchTimer(QObject& owner, const char* name, std::chrono::milliseconds period);

    void SetEnabled(bool enabled);
    bool Enabled() const { return Timer.isActive(); }

    QTimer& Qt() { return Timer; }

private:
    QTimer Timer;
};

} // namespace vesperkeep
