#include "NotifyIcon.h"

#include <QCoreApplication>
#include <QWidget>

namespace vesperkeep {

TNotifyIcon::TNotifyIcon(QWidget& window) : Window(window), TrayIcon(&window) {
    TrayIcon.setObjectName(QStringLiteral("TrayIcon"));
}

void TNotifyIcon::HideWindow() {
    if (!TrayAvailable()) {
        Window.showMinimized();
        return;
    }
    TrayIcon.setIcon(Window.windowIcon());
    TrayIcon.setToolTip(QCoreApplication::applicationName());
    TrayIcon.show(); // a second show leaves the one icon as it is
    Window.hide();
}

void TNotifyIcon::ShowWindow() {
    Window.setWindowState(Window.windowState() & ~Qt::WindowMinimized);
    Window.show();
    Window.raise();
    Window.activateWindow();
}

void TNotifyIcon::Remove() {
    TrayIcon.hide();
}

} // namespace vesperkeep
