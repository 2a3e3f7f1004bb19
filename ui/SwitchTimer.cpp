#include "SwitchTimer.h"

namespace vesperkeep {

TSwitchTimer::TSwitchTimer(QObject& owner, const char* name, std::chrono::milliseconds period)
    : Timer(&owner) {
    Timer.setObjectName(QString::fromLatin1(name));
    Timer.setInterval(period);
}

void TSwitchTimer::SetEnabled(bool enabled) {
    if (enabled == Timer.isActive())
        return;
    if (enabled)
        Timer.start();
    else
        Timer.stop();
}

} // namespace vesperkeep
