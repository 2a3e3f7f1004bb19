#include "Application.h"

#include "SettingChange.h"

#include <QApplication>

// Resources compiled into a static library have to be registered by hand, outside any namespace.
static void RegisterVesperkeepResources() {
    Q_INIT_RESOURCE(vesperkeep);
}

namespace vesperkeep {

void RegisterResources() {
    static const bool registered = (RegisterVesperkeepResources(), true);
    (void)registered;
}

QIcon ApplicationIcon() {
    RegisterResources();
    return QIcon(QStringLiteral(":/vesperkeep/vesperkeep.ico"));
}

void SetUpApplication(QApplication& application) {
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    QApplication::setWindowIcon(ApplicationIcon());
    application.setQuitOnLastWindowClosed(false);
    ForwardRegionalSettingChanges(application);
}

} // namespace vesperkeep
