#pragma once

#include <QSystemTrayIcon>

#include <functional>

class QWidget;

namespace vesperkeep {

// The window's icon in the notification area. There is one icon, however often the window
// hides, and no context menu. The window is never hidden with no way back: where no
// notification area exists at the moment of hiding, it is minimised to the taskbar instead.
class TNotifyIcon {
public:
    explicit TNotifyIcon(QWidget& window);

    // Shows the icon (the window's icon, the application title as tip) and hides the window.
    void HideWindow();
    // Shows the window, whether hidden or minimised, and brings it to the front.
    void ShowWindow();
    // Takes the icon out of the notification area.
    void Remove();

    QSystemTrayIcon& Icon() { return TrayIcon; }

    // Whether a notification area exists right now; asked at every hide, since a panel may come
    // up after the program. Tests put their own answer here.
    std::function<bool()> TrayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;

private:
    QWidget& Window;
    QSystemTrayIcon TrayIcon;
};

} // namespace vesperkeep
