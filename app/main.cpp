#include "scheduler/CommandLine.h"
#include "scheduler/PowerOff.h"
#include "settings/Clock.h"
#include "ui/Application.h"
#include "ui/ErrorDisplay.h"
#include "ui/fmMain.h"

#include <QApplication>

#include <clocale>

int main(int argc, char* argv[]) {
    // Texts, times and numbers follow the user's locale. Qt sets it itself on Unix only.
    std::setlocale(LC_ALL, "");
    QApplication application(argc, argv);
    vesperkeep::SetUpApplication(application);

    vesperkeep::TSystemClock clock;
    vesperkeep::TSystemLauncher launcher;
    vesperkeep::TSystemPowerOff powerOff;
    vesperkeep::TQtMessageBoxes messageBoxes;
    vesperkeep::TMain Main(clock, launcher, powerOff, messageBoxes);
    QObject::connect(&Main, &vesperkeep::TMain::Closed, &application, &QApplication::quit);
    Main.show();
    return application.exec();
}
