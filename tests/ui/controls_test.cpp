#include <QSignalSpy>
#include <atomic>
#include <chrono>
#include <thread>

#include "support/eventually.h"
#include "ui/caption_label.h"
#include "ui/push_button.h"
#include "ui/state_controls.h"
#include "window_host.h"

using namespace velmora::ui;
using namespace velmora::ui::testing;

namespace {

// A push button with its caption, recording each run of its action and the
// face shown while the action ran.
class PushButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        button = new TPushButton(&host);
        button->move(10, 10);
        caption = new TCaptionLabel(QStringLiteral("Clear"), TCaptionLabel::Style::Button, &host);
        caption->move(48, 10);
        caption->setControl(button);
        button->setAction([this] { pressedDuringAction.push_back(button->showsPressed()); });
        host.showReady();
    }

    WindowHost host;
    TPushButton* button = nullptr;
    TCaptionLabel* caption = nullptr;
    std::vector<bool> pressedDuringAction;
};

} // namespace

TEST_F(PushButtonTest, LeftPressShowsPressedFaceAndReleaseActsOnce) {
    for (QWidget* source : {static_cast<QWidget*>(button), static_cast<QWidget*>(caption)}) {
        pressedDuringAction.clear();
        QSignalSpy clicked(button, &TPushButton::clicked);
        Press(source);
        EXPECT_TRUE(button->showsPressed());
        EXPECT_EQ(button->picture().cacheKey(), button->onFace().cacheKey());
        EXPECT_TRUE(pressedDuringAction.empty());
        Release(source);
        // Default order: the action, then the released face.
        EXPECT_EQ(pressedDuringAction, std::vector<bool>{true});
        EXPECT_EQ(clicked.count(), 1);
        EXPECT_FALSE(button->showsPressed());
        EXPECT_EQ(button->picture().cacheKey(), button->offFace().cacheKey());
    }
}

TEST_F(PushButtonTest, ReleasedFaceBeforeActionOrLeftPressed) {
    button->setReleaseFace(TPushButton::ReleaseFace::BeforeAction);
    Click(caption);
    EXPECT_EQ(pressedDuringAction, std::vector<bool>{false});
    EXPECT_FALSE(button->showsPressed());

    button->setReleaseFace(TPushButton::ReleaseFace::LeftPressed);
    Click(button);
    EXPECT_EQ(pressedDuringAction, (std::vector<bool>{false, true}));
    EXPECT_TRUE(button->showsPressed());
}

TEST_F(PushButtonTest, ButtonThatRestsPressed) {
    // A power button: swapped faces, released while held and while its window closes.
    const QPixmap released = button->offFace();
    const QPixmap pressed = button->onFace();
    button->setFaces(pressed, released);
    button->setReleaseFace(TPushButton::ReleaseFace::LeftPressed);
    caption->setForwarding(false);
    ShowPushButtonsReleased(&host);
    EXPECT_EQ(button->picture().cacheKey(), pressed.cacheKey());
    Press(button);
    EXPECT_EQ(button->picture().cacheKey(), released.cacheKey());
    Release(button);
    EXPECT_EQ(button->picture().cacheKey(), released.cacheKey());
    ShowPushButtonsReleased(&host);
    EXPECT_EQ(button->picture().cacheKey(), pressed.cacheKey());
}

TEST_F(PushButtonTest, OtherButtonsDoNothing) {
    for (QWidget* source : {static_cast<QWidget*>(button), static_cast<QWidget*>(caption)}) {
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
            Press(source, other);
            EXPECT_FALSE(button->showsPressed());
            Release(source, other);
            EXPECT_FALSE(button->showsPressed());
        }
    }
    EXPECT_TRUE(pressedDuringAction.empty());
    EXPECT_EQ(button->tag(), 0);
}

TEST_F(PushButtonTest, RightClickWhileHeldDoesNotEndThePress) {
    Press(button);
    Press(button, Qt::RightButton);
    Release(button, Qt::RightButton);
    EXPECT_TRUE(pressedDuringAction.empty());
    EXPECT_TRUE(button->showsPressed());
    Release(button);
    EXPECT_EQ(pressedDuringAction.size(), 1u);
}

TEST_F(PushButtonTest, ReleaseAwayFromThePressStillActs) {
    for (QWidget* source : {static_cast<QWidget*>(button), static_cast<QWidget*>(caption)}) {
        pressedDuringAction.clear();
        Press(source);
        const QPoint away(280, 100); // an empty corner of the window
        QTest::mouseMove(&host, away);
        EXPECT_TRUE(button->showsPressed());
        // The release reaches the window there; the pressed control has the mouse.
        Release(&host, Qt::LeftButton, away);
        EXPECT_EQ(pressedDuringAction.size(), 1u);
        EXPECT_FALSE(button->showsPressed());
    }
}

TEST_F(PushButtonTest, CaptionThatDoesNotReact) {
    caption->setForwarding(false);
    Click(caption);
    EXPECT_FALSE(button->showsPressed());
    EXPECT_TRUE(pressedDuringAction.empty());
    Click(button);
    EXPECT_EQ(pressedDuringAction.size(), 1u);
}

TEST(LedCheckBox, ClickOnPictureOrCaptionFlips) {
    WindowHost host;
    auto* led = new TLedCheckBox(&host);
    led->move(10, 10);
    auto* caption =
        new TCaptionLabel(QStringLiteral("Active Sensing LED"), TCaptionLabel::Style::Led, &host);
    caption->move(22, 8);
    caption->setControl(led);
    host.showReady();
    QSignalSpy toggled(led, &TLedCheckBox::toggled);

    EXPECT_EQ(led->size(), QSize(9, 9));
    EXPECT_EQ(led->tag(), 0);
    Click(led);
    EXPECT_EQ(led->tag(), 1);
    EXPECT_EQ(led->picture().cacheKey(), led->onFace().cacheKey());
    Click(caption);
    EXPECT_EQ(led->tag(), 0);
    EXPECT_EQ(led->picture().cacheKey(), led->offFace().cacheKey());
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_TRUE(toggled.at(0).at(0).toBool());
    EXPECT_FALSE(toggled.at(1).at(0).toBool());

    // A press that ends elsewhere is no click; other buttons do nothing.
    Press(led);
    QTest::mouseMove(&host, QPoint(250, 100));
    Release(&host, Qt::LeftButton, QPoint(250, 100));
    Click(led, Qt::RightButton);
    EXPECT_EQ(led->tag(), 0);
    EXPECT_EQ(toggled.count(), 2);
}

TEST(LedCheckBox, BoundTagIsTheSharedAtomic) {
    WindowHost host;
    auto* led = new TLedCheckBox(&host);
    led->move(10, 10);
    host.showReady();
    std::atomic<int> shared{1};
    led->bindTag(shared);
    EXPECT_TRUE(led->tagIsBound());
    EXPECT_EQ(led->tag(), 1);
    EXPECT_TRUE(led->showsOnFace()); // the picture follows the value found there

    // Another thread, as the MIDI thread would, sees the window's change.
    std::atomic<bool> seenOff{false};
    std::thread reader(
        [&] { seenOff = velmora::testing::Eventually([&] { return shared.load() == 0; }); });
    Click(led);
    reader.join();
    EXPECT_TRUE(seenOff);

    led->setChecked(true);
    EXPECT_EQ(shared.load(), 1);
    shared.store(0);
    EXPECT_EQ(led->tag(), 0);
}

TEST(HeldButton, ClickLightsUntilTheWindowEndsIt) {
    WindowHost host;
    auto* held = new THeldButton(&host);
    held->move(10, 10);
    auto* caption =
        new TCaptionLabel(QStringLiteral("Record Sysex"), TCaptionLabel::Style::Button, &host);
    caption->move(48, 10);
    caption->setControl(held);
    host.showReady();
    int litWhenClicked = -1;
    QObject::connect(held, &THeldButton::clicked, [&] { litWhenClicked = held->tag(); });

    Press(caption);
    EXPECT_FALSE(held->isLit()); // a click acts on the release
    Release(caption);
    EXPECT_EQ(litWhenClicked, 1);
    EXPECT_TRUE(held->showsOnFace());
    held->setLit(false);
    EXPECT_EQ(held->tag(), 0);
    EXPECT_FALSE(held->showsOnFace());

    litWhenClicked = -1;
    held->setLightOnClick(false); // a panel tab lit by its window instead
    Click(held);
    EXPECT_EQ(litWhenClicked, 0);
}

TEST(OpenSwitch, PictureFollowsTheTagSetByCode) {
    WindowHost host;
    auto* port = new TOpenSwitch(TOpenSwitch::Kind::Port, &host);
    port->move(10, 10);
    auto* thru = new TOpenSwitch(TOpenSwitch::Kind::Thru, &host);
    thru->move(10, 40);
    host.showReady();
    EXPECT_EQ(port->size(), QSize(34, 12));
    EXPECT_NE(port->onFace().toImage(), thru->onFace().toImage());

    // The click only asks; a port that fails to open stays shown closed.
    QSignalSpy asked(port, &TOpenSwitch::clicked);
    Click(port);
    EXPECT_EQ(asked.count(), 1);
    EXPECT_FALSE(port->isOpen());
    EXPECT_FALSE(port->showsOnFace());
    port->setOpen(true);
    EXPECT_EQ(port->tag(), 1);
    EXPECT_TRUE(port->showsOnFace());
}

TEST(IndicatorLed, LitWhileItsTagHoldsAStamp) {
    TLed led;
    EXPECT_FALSE(led.showsOnFace());
    led.setTag(123456);
    EXPECT_TRUE(led.showsOnFace());
    led.setTag(0);
    EXPECT_FALSE(led.showsOnFace());
}
