#pragma once

#include "ErrorDisplay.h"
#include "NotifyIcon.h"
#include "SwitchTimer.h"
#include "scheduler/BackupSchedule.h"
#include "scheduler/CommandLine.h"
#include "scheduler/PowerOff.h"
#include "scheduler/ScheduleWindow.h"
#include "scheduler/ShutdownCheck.h"
#include "settings/Clock.h"
#include "settings/RegionalSettings.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

class QLineEdit;

namespace Ui {
class TMain;
}

namespace vesperkeep {

// The program's one window: the six setting fields with their captions, the picture and the
// "Hide" button, laid out in fmMain.ui, and the four timers. Every handler runs from the event
// loop; an error that leaves one goes to the default error display. The schedule reaches the
// fields, timers and plain message box through TScheduleWindow.
class TMain final : public QWidget, public TScheduleWindow {
    Q_OBJECT

public:
    // The program passes the system's clock, launcher, power-off and message boxes; tests pass
    // their stand-ins. Runs FormCreate once the window and its controls exist.
    TMain(TClock& clock, TLauncher& launcher, TPowerOff& powerOff, TMessageBoxes& messageBoxes);
    ~TMain() override;
    TMain(const TMain&) = delete;
    TMain& operator=(const TMain&) = delete;

    void FormCreate();
    void FormDestroy();
    void SpeedButton1Click();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Edit1DblClick();
    void Edit6DblClick();
    void WMTrayIcon(QSystemTrayIcon::ActivationReason reason);

    std::string FieldText(TField field) const override;
    void SetFieldText(TField field, const std::string& text) override;
    void SetTimerEnabled(TTimerId timer, bool enabled) override;
    bool TimerEnabled(TTimerId timer) const override;
    void ShowPlainMessage(const std::string& text) override;

    TNotifyIcon& NotifyIcon() { return Tray; }
    const TRegionalSettings& RegionalSettings() const { return Regional; }

signals:
    // The operator closed the window; the program ends.
    void Closed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A field's text as the settings gave it, kept until the operator changes the field.
    struct TFieldText {
        std::string Bytes;
        QString Shown;
    };

    void UseDesignFont();
    void FitFrame();
    QLineEdit& Edit(TField field) const;
    TSwitchTimer& Timer(TTimerId timer);
    const TSwitchTimer& Timer(TTimerId timer) const;
    template <class THandler> void Connect(TSwitchTimer& timer, THandler handler);

    std::unique_ptr<Ui::TMain> Form;
    TErrorDisplay Errors;
    TRegionalSettings Regional; // read again when the system announces a change
    TClock& Clock;
    TBackupSchedule Backup;
    TShutdownCheck Shutdown;
    TNotifyIcon Tray;
    std::array<TFieldText, 6> Fields;
    bool FrameFitted = false;
    // Last, so they stop before anything their handlers use goes.
    TSwitchTimer Timer1;
    TSwitchTimer Timer2;
    TSwitchTimer Timer3;
    TSwitchTimer Timer4;
};

} // namespace vesperkeep
