#include "SettingChange.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <windows.h>

#include <cwchar>

namespace vesperkeep {

namespace {

// Windows announces new regional settings with WM_SETTINGCHANGE naming the section "intl"; Qt
// passes the message on without making a LocaleChange of it.
class TRegionalSettingFilter final : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_SETTINGCHANGE || msg->lParam == 0 ||
            std::wcscmp(reinterpret_cast<const wchar_t*>(msg->lParam), L"intl") != 0)
            return false;
        // The message comes once per top-level window; the window it came to is told.
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->internalWinId() == reinterpret_cast<WId>(msg->hwnd))
                QCoreApplication::postEvent(widget, new QEvent(QEvent::LocaleChange));
        return false;
    }
};

} // namespace

void ForwardRegionalSettingChanges(QApplication& application) {
    static TRegionalSettingFilter filter;
    application.installNativeEventFilter(&filter);
}

} // namespace vesperkeep
