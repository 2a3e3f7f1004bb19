#include "WindowFixture.h"

#include <QTest>

namespace vesperkeep::test {
namespace {

using WindowFields = WindowTest;

// Types the text into the field as the keyboard would, any characters.
void Type(QLineEdit& edit, const QString& text) {
    for (const QChar character : text)
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString(character),
                            Qt::NoModifier);
}

const char* const EditNames[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6"};

TEST_F(WindowFields, TheSettingsFileFillsTheFields) {
    Open(SettingsFile("stop-db --now", "/srv/backup/", "/var/lib/db", "01:30:00", "02:00:00",
                      "03:00:00"));
    RunPostedEvents();
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_EQ(Edit("Edit6").text(), QStringLiteral("stop-db --now"));
    EXPECT_EQ(Edit("Edit1").text(), QStringLiteral("01:30:00"));
    EXPECT_EQ(Edit("Edit3").text(), QStringLiteral("/var/lib/db"));
    EXPECT_EQ(Edit("Edit4").text(), QStringLiteral("/srv/backup/MySQL20240305"));
    EXPECT_EQ(Edit("Edit2").text(), QStringLiteral("02:00:00"));
    EXPECT_EQ(Edit("Edit5").text(), QStringLiteral("03:00:00"));
}

TEST_F(WindowFields, AMissingFileIsShownAndLeavesEveryFieldEmpty) {
    Open(std::nullopt);
    EXPECT_TRUE(Boxes.Shown.empty()) << "shown only once creation has returned";
    RunPostedEvents();
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Boxes.Shown[0].Caption, QStringLiteral("Vesperkeep"));
    EXPECT_EQ(Boxes.Shown[0].Text, QStringLiteral("File not found."));
    for (const char* name : EditNames)
        EXPECT_TRUE(Edit(name).text().isEmpty()) << name;
    // Creation went on: the timers that start on run.
    EXPECT_TRUE(Timer("Timer3").isActive());
}

TEST_F(WindowFields, UneditedFieldsHandBackTheirBytes) {
    const std::string latin1Source = "/data/M\xfcller"; // not UTF-8
    const TLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Available);
    Open(SettingsFile("stop", "/backup/", latin1Source, "01:30", "02:00", "03:00"));

    EXPECT_EQ(Edit("Edit3").text(), QStringLiteral("/data/M\uFFFDller"));
    EXPECT_EQ(Window->FieldText(TField::Edit3), latin1Source);
    // Through the schedule to the archive command, byte for byte.
    QTest::mouseDClick(&Edit("Edit6"), Qt::LeftButton);
    Fire("Timer4");
    ASSERT_EQ(Launcher.CommandLines.size(), 2u);
    EXPECT_EQ(Launcher.CommandLines[1], "7z.exe a -tzip /backup/MySQL20240305 " + latin1Source);

    // Once the operator edits a field, it holds what the operator typed, in the locale's bytes.
    Edit("Edit3").selectAll();
    Type(Edit("Edit3"), QStringLiteral("/srv/\u00f6l"));
    EXPECT_EQ(Window->FieldText(TField::Edit3), "/srv/\xc3\xb6l");
}

TEST_F(WindowFields, TextsAreDecodedInTheLocalesEncoding) {
    const TLocale latin1("de_DE.ISO-8859-1");
    ASSERT_TRUE(latin1.Available) << "LOCPATH=" << qgetenv("LOCPATH").toStdString();
    Open(SettingsFile("stop", "/backup/", "/data/M\xfcller", "01:30", "02:00", "03:00"));
    EXPECT_EQ(Edit("Edit3").text(), QStringLiteral("/data/M\u00fcller"));
    EXPECT_EQ(Window->FieldText(TField::Edit3), "/data/M\xfcller");

    Edit("Edit3").selectAll();
    Type(Edit("Edit3"), QStringLiteral("/srv/\u00f6l\u20ac"));
    EXPECT_EQ(Window->FieldText(TField::Edit3), "/srv/\xf6l?") << "the euro sign has no byte here";
}

} // namespace
} // namespace vesperkeep::test
