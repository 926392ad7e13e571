#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "ui/dialog_form1.h"
#include "ui/rg_form.h"
#include "window_host.h"

using namespace velmora::ui;
using namespace velmora::ui::testing;

namespace {

// Shows the dialog through ShowMessageDialog and, once it is on screen,
// runs `user` to act on it. A dialog still open after 10 seconds is ended
// with 99 so a broken test fails instead of hanging.
int RunDialog(const QString& message, int mode, const QString& caption1, const QString& caption2,
              const std::function<void(TdialogForm1&)>& user) {
    TdialogForm1& dialog = dialogForm1();
    QTimer::singleShot(0, &dialog, [&dialog, user] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        user(dialog);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] {
        ADD_FAILURE() << "the dialog did not close";
        dialog.done(99);
    });
    guard.start(10000);
    return ShowMessageDialog(message, mode, caption1, caption2);
}

bool ShowsPressed(const TPushButton* button) {
    return button->picture().cacheKey() == RGForm().ImgButOn().cacheKey();
}

bool ShowsReleased(const TPushButton* button) {
    return button->picture().cacheKey() == RGForm().ImgButOff().cacheKey();
}

} // namespace

TEST(MessageDialog, ModeOneKeys) {
    const int escape = RunDialog(QStringLiteral("Nothing to save !"), 1, QStringLiteral("OK"), {},
                                 [](TdialogForm1& dialog) {
                                     EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" Velmora"));
                                     EXPECT_FALSE(dialog.ImgBut2->isVisible());
                                     EXPECT_FALSE(dialog.lblBut2->isVisible());
                                     EXPECT_TRUE(dialog.ImgBut1->isVisible());
                                     EXPECT_EQ(dialog.size(), QSize(438, 117));
                                     QTest::keyClick(&dialog, Qt::Key_Escape);
                                 });
    EXPECT_EQ(escape, 2); // although no second button shows
    EXPECT_FALSE(dialogForm1().isVisible());

    const int enter = RunDialog(QStringLiteral("Nothing to save !"), 1, QStringLiteral("OK"), {},
                                [](TdialogForm1& dialog) {
                                    QTest::keyClick(&dialog, Qt::Key_A); // no effect
                                    QTest::keyClick(&dialog, Qt::Key_Return);
                                });
    EXPECT_EQ(enter, 1);
    const int keypad = RunDialog(
        QStringLiteral("x"), 2, QStringLiteral("Yes"), QStringLiteral("No"),
        [](TdialogForm1& dialog) { QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier); });
    EXPECT_EQ(keypad, 1);
}

TEST(MessageDialog, ThreeChoicesWithTheirReason) {
    TdialogForm1& dialog = dialogForm1();
    for (const auto& [key, result] : {std::pair{Qt::Key_Escape, 3}, {Qt::Key_Return, 1}}) {
        QTimer::singleShot(0, &dialog, [&dialog, key] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            EXPECT_TRUE(dialog.ImgBut3->isVisible());
            EXPECT_EQ(dialog.lblBut3->text(), QStringLiteral("Quit"));
            EXPECT_EQ(dialog.lblReason->text(), QStringLiteral("Why: no JACK server is running."));
            EXPECT_EQ(dialog.size(), QSize(438, 172));
            QTest::keyClick(&dialog, key);
        });
        EXPECT_EQ(ShowChoiceDialog(QStringLiteral("No MIDI service"),
                                   QStringLiteral("Why: no JACK server is running."),
                                   QStringLiteral("Retry"), QStringLiteral("Demo"),
                                   QStringLiteral("Quit")),
                  result);
    }
    // The two-button dialog is as before.
    const int escape = RunDialog(QStringLiteral("x"), 2, QStringLiteral("Yes"),
                                 QStringLiteral("No"), [](TdialogForm1& d) {
                                     EXPECT_FALSE(d.ImgBut3->isVisible());
                                     EXPECT_FALSE(d.lblReason->isVisible());
                                     QTest::keyClick(&d, Qt::Key_Escape);
                                 });
    EXPECT_EQ(escape, 2);
}

TEST(MessageDialog, CaptionPressShowsPressedFaceAndReleaseGivesOne) {
    const int result = RunDialog(QStringLiteral("Save?"), 2, QStringLiteral("Yes"),
                                 QStringLiteral("No"), [](TdialogForm1& dialog) {
                                     EXPECT_TRUE(ShowsReleased(dialog.ImgBut1));
                                     Press(dialog.lblBut1);
                                     EXPECT_TRUE(ShowsPressed(dialog.ImgBut1));
                                     EXPECT_TRUE(ShowsReleased(dialog.ImgBut2));
                                     EXPECT_TRUE(dialog.isVisible()); // acts on the release only
                                     Release(dialog.lblBut1);
                                 });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(ShowsPressed(dialogForm1().ImgBut1)); // left pressed until the next showing
}

TEST(MessageDialog, SecondButtonRightButtonAndCloseBox) {
    const int second = RunDialog(QStringLiteral("Save?"), 2, QStringLiteral("Yes"),
                                 QStringLiteral("No"), [](TdialogForm1& dialog) {
                                     Click(dialog.ImgBut2, Qt::RightButton);
                                     Click(dialog.lblBut1, Qt::RightButton);
                                     EXPECT_TRUE(ShowsReleased(dialog.ImgBut1));
                                     EXPECT_TRUE(ShowsReleased(dialog.ImgBut2));
                                     EXPECT_TRUE(dialog.isVisible());
                                     Click(dialog.ImgBut2);
                                 });
    EXPECT_EQ(second, 2);

    const int closed =
        RunDialog(QStringLiteral("Save?"), 2, QStringLiteral("Yes"), QStringLiteral("No"),
                  [](TdialogForm1& dialog) { dialog.close(); });
    EXPECT_EQ(closed, 2);
}

TEST(MessageDialog, ReleaseAwayFromTheButtonStillActs) {
    const int result = RunDialog(QStringLiteral("Save?"), 2, QStringLiteral("Yes"),
                                 QStringLiteral("No"), [](TdialogForm1& dialog) {
                                     Press(dialog.ImgBut2);
                                     const QPoint away(10, 10);
                                     QTest::mouseMove(&dialog, away);
                                     Release(&dialog, Qt::LeftButton, away);
                                 });
    EXPECT_EQ(result, 2);
}

TEST(MessageDialog, EachCallStartsAfresh) {
    const int first = RunDialog(QStringLiteral("First question"), 2, QStringLiteral("Yes"),
                                QStringLiteral("No"), [](TdialogForm1& dialog) {
                                    EXPECT_EQ(dialog.size(), QSize(438, 148));
                                    Click(dialog.ImgBut1);
                                });
    EXPECT_EQ(first, 1);

    const int second = RunDialog(
        QStringLiteral("Second message"), 1, QStringLiteral("OK"), {}, [](TdialogForm1& dialog) {
            EXPECT_TRUE(ShowsReleased(dialog.ImgBut1));
            EXPECT_TRUE(ShowsReleased(dialog.ImgBut2));
            EXPECT_EQ(dialog.lblStatus->text(), QStringLiteral("Second message"));
            EXPECT_EQ(dialog.lblBut1->text(), QStringLiteral("OK"));
            EXPECT_EQ(dialog.lblBut2->text(), QString());
            EXPECT_EQ(dialog.size(), QSize(438, 117));
            EXPECT_FALSE(dialog.ImgBut2->isVisible());
            Click(dialog.ImgBut1);
        });
    EXPECT_EQ(second, 1);

    const int third = RunDialog(QStringLiteral("Third"), 2, QStringLiteral("Yes"),
                                QStringLiteral("No"), [](TdialogForm1& dialog) {
                                    EXPECT_TRUE(dialog.ImgBut2->isVisible());
                                    EXPECT_TRUE(dialog.lblBut2->isVisible());
                                    EXPECT_EQ(dialog.size(), QSize(438, 148));
                                    EXPECT_EQ(TdialogForm1::OuterHeightFor(2), 177);
                                    Click(dialog.lblBut2);
                                });
    EXPECT_EQ(third, 2);
}

TEST(MessageDialog, LayoutAndLongMessage) {
    const QString longMessage(200, QLatin1Char('W'));
    RunDialog(longMessage, 2, QStringLiteral("Yes"), QStringLiteral("No"),
              [&](TdialogForm1& dialog) {
                  EXPECT_EQ(dialog.lblStatus->geometry().topLeft(), QPoint(32, 39));
                  EXPECT_EQ(dialog.lblStatus->width(), 369); // cut, not widened
                  EXPECT_EQ(dialog.lblStatus->text(), longMessage);
                  EXPECT_EQ(dialog.ImgBut1->pos(), QPoint(328, 89));
                  EXPECT_EQ(dialog.lblBut1->pos(), QPoint(366, 89));
                  EXPECT_EQ(dialog.ImgBut2->pos(), QPoint(328, 113));
                  EXPECT_EQ(dialog.lblBut2->pos(), QPoint(366, 113));
                  EXPECT_EQ(dialog.ImgWinStatus->geometry(), QRect(24, 30, 387, 33));
                  EXPECT_EQ(dialog.imgBG->geometry(), QRect(0, -2, 439, 157));
                  EXPECT_FALSE(dialog.ImgButOff->isVisible()); // face holders stay out of sight
                  const QRect screen = dialog.screen()->availableGeometry();
                  const QPoint offset = dialog.frameGeometry().center() - screen.center();
                  EXPECT_LE(offset.manhattanLength(), 2);
                  QTest::keyClick(&dialog, Qt::Key_Escape);
              });
}
