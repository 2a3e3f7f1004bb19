#include "WindowFixture.h"
#include "ui/Application.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <QToolButton>

#include <map>

namespace vesperkeep::test {
namespace {

class WindowLayout : public WindowTest {
protected:
    void SetUp() override { Open(std::nullopt); }

    QWidget& Control(const char* name) const {
        auto* control = Window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return *control;
    }

    std::map<QString, QRect> ControlPlaces() const {
        std::map<QString, QRect> places;
        for (const QWidget* child : Window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            places[child->objectName()] = child->geometry();
        return places;
    }
};

TEST_F(WindowLayout, CaptionFrameAndButtons) {
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Down database , Backup and Shutdown"));
    // A display name would be appended to every caption on some platforms.
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Vesperkeep"));

    const Qt::WindowFlags flags = Window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::MSWindowsFixedSizeDialogHint);
    EXPECT_NE(Window->minimumSize(), Window->maximumSize()) << "the frame is resizable";

    // The offscreen platform draws a frame of its own, so the client area must shrink to keep
    // the outer size, yet still hold every control.
    Window->show();
    RunPostedEvents();
    EXPECT_EQ(Window->frameGeometry(), QRect(148, 146, 568, 383));
    for (const auto& [name, place] : ControlPlaces())
        EXPECT_TRUE(Window->rect().contains(place)) << name.toStdString();
}

TEST_F(WindowLayout, ControlsStandWhereTheDesignPutsThem) {
    struct TPlace {
        const char* Name;
        QRect Place;
    };
    // Labels keep their place but take the width of their text, checked below.
    for (const TPlace& c :
         {TPlace{"Bevel1", {8, 8, 361, 305}}, TPlace{"Edit6", {24, 32, 233, 21}},
          TPlace{"Edit1", {24, 80, 121, 21}}, TPlace{"Edit3", {24, 128, 233, 21}},
          TPlace{"Edit4", {24, 176, 233, 21}}, TPlace{"Edit2", {24, 224, 121, 21}},
          TPlace{"Edit5", {24, 272, 121, 21}}, TPlace{"SpeedButton1", {480, 312, 73, 25}},
          TPlace{"Label7", {8, 320, 361, 18}}, TPlace{"Image1", {376, 8, 177, 233}}})
        EXPECT_EQ(Control(c.Name).geometry(), c.Place) << c.Name;

    struct TLabel {
        const char* Name;
        QPoint Place;
        const char* Text;
        const char* Buddy;
    };
    for (const TLabel& c : {TLabel{"Label6", {24, 16}, "Shutdown database command", "Edit6"},
                            TLabel{"Label1", {24, 64}, "Backup Time", "Edit1"},
                            TLabel{"Label3", {24, 112}, "What to backup", "Edit3"},
                            TLabel{"Label4", {24, 160}, "Where to keep backup", "Edit4"},
                            TLabel{"Label2", {24, 208}, "Shutdown Time", "Edit2"},
                            TLabel{"Label5", {24, 256}, "Not Shutdown after Time", "Edit5"}}) {
        auto& label = static_cast<QLabel&>(Control(c.Name));
        EXPECT_EQ(label.pos(), c.Place) << c.Name;
        EXPECT_EQ(label.text(), QString::fromLatin1(c.Text)) << c.Name;
        EXPECT_GE(label.width(), QFontMetrics(label.font()).horizontalAdvance(label.text()))
            << c.Name << " cuts its caption off";
        EXPECT_GE(label.height(), QFontMetrics(label.font()).height()) << c.Name;
        EXPECT_EQ(label.buddy(), &Control(c.Buddy)) << c.Name;
    }

    const auto& hide = static_cast<QToolButton&>(Control("SpeedButton1"));
    EXPECT_EQ(hide.text(), QStringLiteral("Hide"));
    EXPECT_EQ(hide.focusPolicy(), Qt::NoFocus);

    const auto& bevel = static_cast<QFrame&>(Control("Bevel1"));
    EXPECT_EQ(bevel.frameShadow(), QFrame::Sunken);
    EXPECT_NE(bevel.frameShape(), QFrame::NoFrame);
}

TEST_F(WindowLayout, ColoursFontAndPictures) {
    EXPECT_EQ(Window->palette().color(QPalette::Window), QColor(217, 237, 173));
    const auto& credit = static_cast<QLabel&>(Control("Label7"));
    EXPECT_TRUE(credit.autoFillBackground());
    EXPECT_EQ(credit.palette().color(QPalette::Window), QColor(185, 223, 30));
    EXPECT_EQ(credit.alignment(), Qt::AlignCenter);
    EXPECT_FALSE(credit.text().isEmpty());
    EXPECT_GE(credit.width(), QFontMetrics(credit.font()).horizontalAdvance(credit.text()));

    EXPECT_EQ(Window->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(Window->font().pixelSize(), 11);
    EXPECT_EQ(QFontInfo(Window->font()).pixelSize(), 11);

    // The picture at its natural size from the top-left, clipped by the control.
    const auto& image = static_cast<QLabel&>(Control("Image1"));
    EXPECT_EQ(image.pixmap().size(), QSize(186, 228));
    EXPECT_FALSE(image.hasScaledContents());
    EXPECT_EQ(image.alignment(), Qt::AlignLeft | Qt::AlignTop);

    for (const QIcon& icon : {ApplicationIcon(), Window->windowIcon()}) {
        const QList<QSize> sizes = icon.availableSizes();
        for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
            EXPECT_TRUE(sizes.contains(size)) << size.width();
    }
}

TEST_F(WindowLayout, TabGoesThroughTheFieldsInTheirOwnOrder) {
    Window->show();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    EXPECT_EQ(QApplication::focusWidget(), &Edit("Edit6")) << "the first field has the focus";
    for (const char* next : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), &Edit(next)) << next;
    }
}

TEST_F(WindowLayout, ResizingMovesNothing) {
    Window->show();
    RunPostedEvents();
    const auto before = ControlPlaces();
    for (const QSize size : {QSize(300, 200), QSize(900, 700), QSize(568, 383)}) {
        Window->resize(size);
        RunPostedEvents();
        EXPECT_EQ(ControlPlaces(), before) << size.width() << "x" << size.height();
    }
}

} // namespace
} // namespace vesperkeep::test
