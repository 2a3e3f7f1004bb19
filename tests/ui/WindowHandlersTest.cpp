#include "WindowFixture.h"

#include <QProperty>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>

namespace vesperkeep::test {
namespace {

class WindowHandlers : public WindowTest {
protected:
    void OpenWith(const std::string& backupTime) {
        Open(SettingsFile("stop-db", "/backup/", "/data", backupTime, "22:00:00", "23:00:00"));
        RunPostedEvents();
        ASSERT_TRUE(Boxes.Shown.empty());
    }
};

TEST_F(WindowHandlers, TimersStartAsDesigned) {
    OpenWith("01:30:00");
    struct TCase {
        const char* Name;
        int Period;
        bool On;
    };
    for (const TCase& c : {TCase{"Timer1", 2'000, true}, TCase{"Timer2", 300'000, true},
                           TCase{"Timer3", 60'000, true}, TCase{"Timer4", 5'000, false}}) {
        EXPECT_EQ(Timer(c.Name).interval(), c.Period) << c.Name;
        EXPECT_EQ(Timer(c.Name).isActive(), c.On) << c.Name;
        EXPECT_FALSE(Timer(c.Name).isSingleShot()) << c.Name;
    }
}

TEST_F(WindowHandlers, SwitchingATimerToItsStateChangesNothing) {
    OpenWith("01:30:00");
    QTimer& timer3 = Timer("Timer3");
    int restarts = 0;
    // Every start and stop of a QTimer passes through its active property.
    const QPropertyNotifier watch = timer3.bindableActive().addNotifier([&] { ++restarts; });
    Window->SetTimerEnabled(TTimerId::Timer3, true);
    EXPECT_EQ(restarts, 0) << "switching on a running timer began its count again";
    EXPECT_TRUE(Window->TimerEnabled(TTimerId::Timer3));

    Window->SetTimerEnabled(TTimerId::Timer4, false);
    EXPECT_FALSE(Window->TimerEnabled(TTimerId::Timer4));
    Window->SetTimerEnabled(TTimerId::Timer4, true);
    EXPECT_TRUE(Timer("Timer4").isActive());
    Window->SetTimerEnabled(TTimerId::Timer3, false);
    EXPECT_FALSE(timer3.isActive());
}

TEST_F(WindowHandlers, DoubleClicksReachTheSchedule) {
    OpenWith("01:30:00");
    QTest::mouseDClick(&Edit("Edit6"), Qt::LeftButton);
    EXPECT_EQ(Launcher.CommandLines, std::vector<std::string>{"stop-db"});
    EXPECT_TRUE(Timer("Timer4").isActive()) << "the archive step is armed";
    Fire("Timer4");
    EXPECT_EQ(Launcher.CommandLines.back(), "7z.exe a -tzip /backup/MySQL20240305 /data");

    // Edit1 runs the backup check at once: at the backup time it stops the database.
    Launcher.CommandLines.clear();
    Clock.Now = At(1, 30, 20);
    QTest::mouseDClick(&Edit("Edit1"), Qt::LeftButton);
    EXPECT_EQ(Launcher.CommandLines, std::vector<std::string>{"stop-db"});
    EXPECT_FALSE(Timer("Timer3").isActive()) << "the backup runs once";
}

TEST_F(WindowHandlers, TimersReachTheSchedule) {
    OpenWith("01:30:00");
    Clock.Now = At(1, 31);
    Fire("Timer3");
    EXPECT_EQ(Launcher.CommandLines, std::vector<std::string>{"stop-db"});
    Clock.Now = At(22, 30);
    Fire("Timer2");
    EXPECT_EQ(PowerOff.Requests.size(), 1u);
}

TEST_F(WindowHandlers, ATimerErrorReachesTheDefaultErrorDisplay) {
    OpenWith("half past one");
    Fire("Timer3");
    // Not inside the timer's slot, where a box's own loop would hold the timer up.
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_TRUE(Timer("Timer3").isActive());
    RunPostedEvents();
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Boxes.Shown[0].Caption, QStringLiteral("Vesperkeep"));
    EXPECT_EQ(Boxes.Shown[0].Text, QStringLiteral("'half past one' is not a valid time."));

    // The next minute brings the next box, whatever became of the first.
    Fire("Timer3");
    RunPostedEvents();
    EXPECT_EQ(Boxes.Shown.size(), 2u);
}

TEST_F(WindowHandlers, AStopCommandThatCannotStartShowsThePlainBox) {
    OpenWith("01:30:00");
    Launcher.Fail = true;
    QTest::mouseDClick(&Edit("Edit6"), Qt::LeftButton);
    RunPostedEvents();
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, TMessageKind::Plain);
    EXPECT_EQ(Boxes.Shown[0].Caption, QStringLiteral("Vesperkeep"));
    EXPECT_EQ(Boxes.Shown[0].Text, QStringLiteral("Command error"));
    EXPECT_FALSE(Timer("Timer4").isActive());
}

TEST_F(WindowHandlers, RegionalSettingsAreReadAgainWhenTheSystemSaysSo) {
    OpenWith("01.30");
    const TLocale finnish("fi_FI.UTF-8");
    ASSERT_TRUE(finnish.Available) << "LOCPATH=" << qgetenv("LOCPATH").toStdString();
    QEvent changed(QEvent::LocaleChange);
    QCoreApplication::sendEvent(Window.get(), &changed);
    EXPECT_EQ(Window->RegionalSettings().TimeSeparator, ".");
    Clock.Now = At(1, 30, 5);
    Fire("Timer3");
    RunPostedEvents();
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_EQ(Launcher.CommandLines, std::vector<std::string>{"stop-db"});
}

class NotifyIconTest : public WindowHandlers {
protected:
    void SetUp() override {
        OpenWith("01:30:00");
        Window->show();
        RunPostedEvents();
    }
    void Hide() {
        QTest::mouseClick(Window->findChild<QToolButton*>("SpeedButton1"), Qt::LeftButton);
    }
    QList<QSystemTrayIcon*> Icons() const { return Window->findChildren<QSystemTrayIcon*>(); }
};

TEST_F(NotifyIconTest, WithoutATrayHideMinimisesAndATrayLaterIsUsed) {
    // The offscreen platform has no notification area, like a bare X server.
    Hide();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Window->isMinimized());
    for (const QSystemTrayIcon* icon : Icons())
        EXPECT_FALSE(icon->isVisible());

    Window->NotifyIcon().TrayAvailable = [] {
        return true;
    };
    Hide();
    EXPECT_FALSE(Window->isVisible());
    ASSERT_EQ(Icons().size(), 1);
    EXPECT_TRUE(Icons()[0]->isVisible());
    emit Icons()[0]->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->isMinimized()) << "brought back, not left on the taskbar";
}

TEST_F(NotifyIconTest, TheIconHidesAndRestoresTheWindow) {
    Window->NotifyIcon().TrayAvailable = [] {
        return true;
    };
    Fire("Timer1");
    EXPECT_FALSE(Timer("Timer1").isActive()) << "hides once";
    EXPECT_FALSE(Window->isVisible());
    ASSERT_EQ(Icons().size(), 1);
    QSystemTrayIcon& icon = *Icons()[0];
    EXPECT_TRUE(icon.isVisible());
    EXPECT_EQ(icon.toolTip(), QStringLiteral("Vesperkeep"));
    EXPECT_FALSE(icon.icon().isNull());
    EXPECT_EQ(icon.contextMenu(), nullptr);

    struct TCase {
        QSystemTrayIcon::ActivationReason Reason;
        bool Shows;
    };
    for (const TCase& c :
         {TCase{QSystemTrayIcon::Trigger, true}, TCase{QSystemTrayIcon::Context, true},
          TCase{QSystemTrayIcon::DoubleClick, false}, TCase{QSystemTrayIcon::MiddleClick, false},
          TCase{QSystemTrayIcon::Unknown, false}}) {
        Window->hide();
        emit icon.activated(c.Reason);
        EXPECT_EQ(Window->isVisible(), c.Shows) << c.Reason;
    }

    // "Hide" again with the icon present: still the one icon.
    Window->show();
    Hide();
    Hide();
    EXPECT_EQ(Icons().size(), 1);
    EXPECT_TRUE(icon.isVisible());
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(NotifyIconTest, FormDestroyRemovesTheIcon) {
    Window->NotifyIcon().TrayAvailable = [] {
        return true;
    };
    Hide();
    QPointer<QSystemTrayIcon> icon = Icons().value(0);
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->isVisible());
    Window->FormDestroy();
    EXPECT_FALSE(icon->isVisible());
}

} // namespace
} // namespace vesperkeep::test
