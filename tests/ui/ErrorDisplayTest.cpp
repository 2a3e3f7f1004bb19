#include "ui/ErrorDisplay.h"
#include "WindowFixture.h"
#include "ui/LocalText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace vesperkeep::test {
namespace {

TEST(ErrorText, AFullStopFollowsWhatSortsAfterIt) {
    struct TCase {
        const char* Message;
        const char* Shown;
    };
    for (const TCase& c :
         {TCase{"File not found", "File not found."}, TCase{"9", "9."}, TCase{"path/", "path/."},
          TCase{"Done.", "Done."}, TCase{"Stop!", "Stop!"}, TCase{"(x)", "(x)"}, TCase{"a-", "a-"},
          TCase{"", ""},
          // Bytes above 127 sort after it too, whatever char's sign.
          TCase{"caf\xc3\xa9", "caf\xc3\xa9."}, TCase{"M\xfc", "M\xfc."}})
        EXPECT_EQ(ErrorText(c.Message), c.Shown) << c.Message;
}

TEST(LocalText, Utf8RoundTripsAndInvalidBytesShowAsReplacements) {
    const TLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Available);
    EXPECT_EQ(DecodeLocalText("M\xc3\xbcller \xe2\x82\xac"), QStringLiteral("M\u00fcller \u20ac"));
    EXPECT_EQ(EncodeLocalText(QStringLiteral("M\u00fcller \u20ac")), "M\xc3\xbcller \xe2\x82\xac");
    EXPECT_EQ(DecodeLocalText("a\xfc"
                              "b\xc3"),
              QStringLiteral("a\uFFFDb\uFFFD"));
    EXPECT_EQ(DecodeLocalText(std::string("a\0b", 3)), QString::fromUtf16(u"a\u0000b", 3));
}

QList<QMessageBox*> OpenBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

TEST(QtMessageBoxes, ErrorAndPlainBoxesStandOnTheirOwn) {
    QPointer<QMessageBox> error;
    QPointer<QMessageBox> plain;
    {
        TQtMessageBoxes shown;
        shown.Show(TMessageKind::Error, QStringLiteral("Vesperkeep"), QStringLiteral("Bad."));
        shown.Show(TMessageKind::Plain, QStringLiteral("Vesperkeep"),
                   QStringLiteral("Command error"));
        const QList<QMessageBox*> boxes = OpenBoxes();
        ASSERT_EQ(boxes.size(), 2);
        for (QMessageBox* box : boxes)
            (box->text() == QStringLiteral("Bad.") ? error : plain) = box;
        ASSERT_TRUE(error && plain);
        EXPECT_EQ(error->icon(), QMessageBox::Critical);
        EXPECT_EQ(plain->icon(), QMessageBox::NoIcon);
        for (const QMessageBox* box : boxes) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Vesperkeep"));
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_FALSE(box->isModal()) << "the program goes on behind a box";
        }

        // OK closes a box and frees it.
        error->button(QMessageBox::Ok)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(error.isNull());
        EXPECT_FALSE(plain.isNull());
    }
    EXPECT_TRUE(plain.isNull()) << "boxes still open go with the program";
}

} // namespace
} // namespace vesperkeep::test
