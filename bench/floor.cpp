// The floor the program is measured against: its window as the form lays it out, with the same
// controls, picture, icon, frame buttons and font, and nothing else: no settings, no schedule, no
// tray, no message boxes. Two timers with the periods of the program's idle checks fire into
// empty handlers, so the floor wakes as often as any window that keeps such timers must.
#include "ui_fmMain.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <chrono>

int main(int argc, char* argv[]) {
    using namespace std::chrono_literals;
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vesperkeep/vesperkeep.ico")));
    QWidget window;
    Ui::TMain form;
    form.setupUi(&window);
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Arial")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    window.setFont(font);
    window.move(148, 146);
    window.resize(568, 383);

    QTimer minute;
    QTimer fiveMinutes;
    QObject::connect(&minute, &QTimer::timeout, [] {});
    QObject::connect(&fiveMinutes, &QTimer::timeout, [] {});
    minute.start(60s);
    fiveMinutes.start(300s);

    window.show();
    return application.exec();
}
