#include "fmMain.h"

#include "Application.h"
#include "LocalText.h"
#include "scheduler/SettingFields.h"
#include "ui_fmMain.h"

#include <QCloseEvent>
#include <QFont>
#include <QWindow>

#include <chrono>

namespace vesperkeep {

namespace {

using namespace std::chrono_literals;

// The outer frame's place and size; the frame is what the operator sees of the window.
constexpr QPoint FramePosition(148, 146);
constexpr QSize FrameSize(568, 383);
// Where a frame leaves less, the client area still holds every control (the rightmost ends at
// x 553, the lowest at y 338) with the 8-pixel margin of the left and top.
constexpr QSize LeastClientSize(561, 346);

std::size_t Index(TField field) {
    return static_cast<std::size_t>(field);
}

} // namespace

template <class THandler> void TMain::Connect(TSwitchTimer& timer, THandler handler) {
    connect(&timer.Qt(), &QTimer::timeout, this,
            [this, handler] { Errors.Run([this, handler] { (this->*handler)(); }); });
}

TMain::TMain(TClock& clock, TLauncher& launcher, TPowerOff& powerOff, TMessageBoxes& messageBoxes)
    : Form(std::make_unique<Ui::TMain>()), Errors(messageBoxes), Regional(ReadRegionalSettings()),
      Clock(clock), Backup(*this, clock, launcher, Regional),
      Shutdown(*this, clock, powerOff, Regional), Tray(*this), Timer1(*this, "Timer1", 2'000ms),
      Timer2(*this, "Timer2", 300'000ms), Timer3(*this, "Timer3", 60'000ms),
      Timer4(*this, "Timer4", 5'000ms) {
    RegisterResources();
    Form->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    UseDesignFont();
    move(FramePosition);
    resize(FrameSize);

    connect(Form->SpeedButton1, &QToolButton::clicked, this,
            [this] { Errors.Run([this] { SpeedButton1Click(); }); });
    connect(&Tray.Icon(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                Errors.Run([this, reason] { WMTrayIcon(reason); });
            });
    Form->Edit1->installEventFilter(this);
    Form->Edit6->installEventFilter(this);
    Connect(Timer1, &TMain::Timer1Timer);
    Connect(Timer2, &TMain::Timer2Timer);
    Connect(Timer3, &TMain::Timer3Timer);
    Connect(Timer4, &TMain::Timer4Timer);

    Timer1.SetEnabled(true);
    Timer2.SetEnabled(true);
    Timer3.SetEnabled(true);
    Errors.Run([this] { FormCreate(); });
}

TMain::~TMain() {
    FormDestroy();
}

void TMain::UseDesignFont() {
    // Where the design font is missing, one of nearly the same widths stands in; the labels
    // then take the width of their text, so none is cut off.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Arial")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11); // the .ui format holds point sizes only
    setFont(font);
    for (QLabel* label :
         {Form->Label1, Form->Label2, Form->Label3, Form->Label4, Form->Label5, Form->Label6})
        label->adjustSize();
}

void TMain::FitFrame() {
    // The frame's width is known only once the window is on screen, and on X11 only after the
    // window manager has framed it. Fitted once, so the operator's own size stays.
    if (FrameFitted || !isVisible() || !windowHandle())
        return;
    const QMargins margins = windowHandle()->frameMargins();
    if (margins.isNull())
        return; // no frame, or not yet: the client area is the whole outer size
    FrameFitted = true;
    resize(QSize(FrameSize.width() - margins.left() - margins.right(),
                 FrameSize.height() - margins.top() - margins.bottom())
               .expandedTo(LeastClientSize));
}

void TMain::FormCreate() {
    LoadSettingFields(*this, Clock);
}

void TMain::FormDestroy() {
    Tray.Remove();
}

void TMain::SpeedButton1Click() {
    Tray.HideWindow();
}

void TMain::Timer1Timer() {
    Timer1.SetEnabled(false); // hides once, two seconds after start
    SpeedButton1Click();
}

void TMain::Timer2Timer() {
    Shutdown.Timer2Timer();
}
void TMain::Timer3Timer() {
    Backup.Timer3Timer();
}
void TMain::Timer4Timer() {
    Backup.Timer4Timer();
}
void TMain::Edit1DblClick() {
    Backup.Edit1DblClick();
}
void TMain::Edit6DblClick() {
    Backup.Edit6DblClick();
}

void TMain::WMTrayIcon(QSystemTrayIcon::ActivationReason reason) {
    // A left or right press; a double-click has already shown the window with its first press.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        Tray.ShowWindow();
}

std::string TMain::FieldText(TField field) const {
    const TFieldText& stored = Fields[Index(field)];
    const QString text = Edit(field).text();
    return text == stored.Shown ? stored.Bytes : EncodeLocalText(text);
}

void TMain::SetFieldText(TField field, const std::string& text) {
    TFieldText& stored = Fields[Index(field)];
    stored.Bytes = text;
    stored.Shown = DecodeLocalText(text);
    Edit(field).setText(stored.Shown);
}

void TMain::SetTimerEnabled(TTimerId timer, bool enabled) {
    Timer(timer).SetEnabled(enabled);
}

bool TMain::TimerEnabled(TTimerId timer) const {
    return Timer(timer).Enabled();
}

void TMain::ShowPlainMessage(const std::string& text) {
    Errors.ShowPlainMessage(text);
}

bool TMain::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        FitFrame();
        break;
    default:
        break;
    }
    return handled;
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Form->Edit1)
            Errors.Run([this] { Edit1DblClick(); });
        else if (watched == Form->Edit6)
            Errors.Run([this] { Edit6DblClick(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange)
        Regional = ReadRegionalSettings();
    QWidget::changeEvent(event);
}

void TMain::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit Closed();
}

QLineEdit& TMain::Edit(TField field) const {
    switch (field) {
    case TField::Edit1:
        return *Form->Edit1;
    case TField::Edit2:
        return *Form->Edit2;
    case TField::Edit3:
        return *Form->Edit3;
    case TField::Edit4:
        return *Form->Edit4;
    case TField::Edit5:
        return *Form->Edit5;
    case TField::Edit6:
        break;
    }
    return *Form->Edit6;
}

TSwitchTimer& TMain::Timer(TTimerId timer) {
    return const_cast<TSwitchTimer&>(static_cast<const TMain&>(*this).Timer(timer));
}

const TSwitchTimer& TMain::Timer(TTimerId timer) const {
    switch (timer) {
    case TTimerId::Timer1:
        return Timer1;
    case TTimerId::Timer2:
        return Timer2;
    case TTimerId::Timer3:
        return Timer3;
    case TTimerId::Timer4:
        break;
    }
    return Timer4;
}

} // namespace vesperkeep
