#pragma once

#include "../core/Fakes.h"
#include "../core/TempDir.h"
#include "ui/ErrorDisplay.h"
#include "ui/fmMain.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesperkeep::test {

struct TShownBox {
    TMessageKind Kind;
    QString Caption;
    QString Text;
};

// Message boxes that are recorded instead of shown.
class TRecordingBoxes final : public TMessageBoxes {
public:
    std::vector<TShownBox> Shown;
    void Show(TMessageKind kind, const QString& caption, const QString& text) override {
        Shown.push_back({kind, caption, text});
    }
};

// Sets LC_ALL for as long as the object lives; the test locales come from LOCPATH.
class TLocale {
public:
    explicit TLocale(const char* name) : Previous(std::setlocale(LC_ALL, nullptr)) {
        Available = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~TLocale() { std::setlocale(LC_ALL, Previous.c_str()); }
    TLocale(const TLocale&) = delete;
    TLocale& operator=(const TLocale&) = delete;
    bool Available = false;

private:
    std::string Previous;
};

// The real window over fakes, in a temporary working directory of its own.
class WindowTest : public ::testing::Test {
protected:
    TTempDir Folder;
    TWorkingDirectory InFolder{Folder.Path()};
    TFakeClock Clock;
    TRecordingLauncher Launcher;
    TRecordingPowerOff PowerOff;
    TRecordingBoxes Boxes;
    std::unique_ptr<TMain> Window;

    // Opens the window on a settings file with these bytes, or on none.
    TMain& Open(const std::optional<std::string>& settings) {
        if (settings)
            Folder.Write("dbbkcfg.txt", *settings);
        Window = std::make_unique<TMain>(Clock, Launcher, PowerOff, Boxes);
        return *Window;
    }

    QLineEdit& Edit(const char* name) const {
        auto* edit = Window->findChild<QLineEdit*>(QString::fromLatin1(name));
        EXPECT_NE(edit, nullptr) << name;
        return *edit;
    }

    QTimer& Timer(const char* name) const {
        auto* timer = Window->findChild<QTimer*>(QString::fromLatin1(name));
        EXPECT_NE(timer, nullptr) << name;
        return *timer;
    }

    // The timer's expiry as the event loop delivers it, through the window's own connection.
    void Fire(const char* timer) const { QMetaObject::invokeMethod(&Timer(timer), "timeout"); }

    // Lets the event loop run what handlers left for it, such as the boxes they show.
    static void RunPostedEvents() { QCoreApplication::sendPostedEvents(); }
};

// Six lines as the settings file holds them.
inline std::string SettingsFile(const std::string& command, const std::string& folder,
                                const std::string& source, const std::string& backupTime,
                                const std::string& shutdownTime, const std::string& notAfter) {
    return command + "\n" + folder + "\n" + source + "\n" + backupTime + "\n" + shutdownTime +
           "\n" + notAfter + "\n";
}

} // namespace vesperkeep::test
