// The left column: panel buttons and their captions, Clear, Help, About,
// Power, and the F1 key from anywhere in the window.
#include <QKeyEvent>

#include "form_actions.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

const ShortMessage kNoteOn = PackShortMessage(0x90, 0x3C, 0x64);
const std::vector<std::uint8_t> kIdentity{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

// Counts the F1 presses that reach a widget itself.
class F1Counter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            ++seen;
        }
        return false;
    }
    int seen = 0;
};

} // namespace

TEST_F(MainFormTest, PanelButtonsAndTheirCaptionsShowOnePanel) {
    app::TmainForm& form = Start();
    struct Case {
        QWidget* source;
        ui::THeldButton* button;
        QWidget* panel;
        int clearTag; // what Clear would empty afterwards
    };
    const Case cases[] = {
        {form.ImgButData, form.ImgButData, form.PanelData, 2},
        {form.ImgButSetup, form.ImgButSetup, form.PanelSetup, 2},
        {form.lblButSysex, form.ImgButSysex, form.PanelSysex, 1},
        {form.ImgButAbout, form.ImgButAbout, form.PanelAbout, 1},
        {form.lblButData, form.ImgButData, form.PanelData, 2},
        {form.lblButSetup, form.ImgButSetup, form.PanelSetup, 2},
        {form.ImgButSysex, form.ImgButSysex, form.PanelSysex, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source->objectName().toStdString() + " " +
                     c.source->metaObject()->className());
        Click(c.source);
        EXPECT_EQ(ShownPanel(form), c.panel);
        for (auto* b : {form.ImgButSetup, form.ImgButData, form.ImgButSysex, form.ImgButAbout}) {
            EXPECT_EQ(b->tag(), b == c.button ? 1 : 0) << b->objectName().toStdString();
            EXPECT_EQ(b->showsOnFace(), b == c.button);
        }
        EXPECT_EQ(form.ImgButClear->tag(), c.clearTag);
    }
    // The About panel holds the program's presentation.
    Click(form.ImgButAbout);
    const QStringList about = form.MemoAbout->toPlainText().split('\n');
    ASSERT_EQ(about.size(), 19);
    EXPECT_EQ(about[0], QStringLiteral("Main features:"));
    EXPECT_EQ(about[18],
              QStringLiteral(
                  "    Caution: Some drivers can be shared between several Midi applications."));
}

TEST_F(MainFormTest, ClearBeforeEitherMonitorWasShownDoesNothing) {
    app::TmainForm& form = Start();
    // Both monitors filled out of view.
    Click(form.ImgJumpData);
    Click(form.ImgJumpSysex);
    ASSERT_TRUE(rig.Play({kNoteOn}));
    ASSERT_TRUE(rig.PlaySysex(kIdentity));
    ASSERT_EQ(ShownPanel(form), form.PanelSetup);
    const QString history = form.Memo2->toPlainText();
    const QString dumps = form.Memo1->toPlainText();
    ASSERT_FALSE(history.isEmpty());
    ASSERT_FALSE(dumps.isEmpty());

    Click(form.ImgButClear);
    Click(form.lblButClear);
    EXPECT_EQ(form.Memo2->toPlainText(), history);
    EXPECT_EQ(form.Memo1->toPlainText(), dumps);
    EXPECT_EQ(form.lblExp[0]->text(), QStringLiteral("Note On"));
    EXPECT_EQ(form.Gauge1->progress(), 100);
}

TEST_F(MainFormTest, ClearEmptiesTheMonitorShownLastAlsoFromSetup) {
    app::TmainForm& form = Start();
    ASSERT_TRUE(rig.PlaySysex(kIdentity)); // jumps to the sysex monitor
    rig.SetElapsed(JumpGuard::kSysexHoldMs);
    ASSERT_TRUE(rig.Play({kNoteOn})); // once the dump is over, jumps to the data monitor
    ASSERT_EQ(ShownPanel(form), form.PanelData);
    Click(form.ImgButSetup);

    // Pressed face while held, action on the release.
    Press(form.lblButClear);
    EXPECT_TRUE(form.ImgButClear->showsPressed());
    EXPECT_FALSE(form.Memo2->toPlainText().isEmpty());
    Release(form.lblButClear);
    EXPECT_FALSE(form.ImgButClear->showsPressed());
    EXPECT_TRUE(form.Memo2->toPlainText().isEmpty());
    for (std::size_t i = 0; i < 4; ++i) {
        for (QLabel* l : {form.lblBin[i], form.lblHex[i], form.lblDec[i], form.lblExp[i]}) {
            EXPECT_TRUE(l->text().isEmpty()) << l->objectName().toStdString();
        }
    }
    EXPECT_EQ(form.Gauge1->progress(), 0);
    EXPECT_FALSE(form.Memo1->toPlainText().isEmpty()); // the other monitor stays
    EXPECT_EQ(ShownPanel(form), form.PanelSetup);

    // The next message fills the data monitor again.
    ASSERT_TRUE(rig.Play({kNoteOn}));
    EXPECT_EQ(form.lblHex[0]->text(), QStringLiteral("H90"));
    EXPECT_EQ(form.Gauge1->progress(), 100);

    // The sysex monitor: cleared, its numbering starts again.
    Click(form.ImgButSysex);
    Click(form.ImgButClear);
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(form.Memo2->toPlainText().isEmpty());
    ASSERT_TRUE(rig.PlaySysex(kIdentity));
    EXPECT_TRUE(form.Memo1->toPlainText().startsWith(QStringLiteral("Block #1 (6 bytes)")));
}

TEST_F(MainFormTest, HelpAboutAndPowerCaptionsDoNothing) {
    app::TmainForm& form = Start();
    for (ui::TCaptionLabel* caption : {form.lblButHelp, form.Label1, form.lblButPower}) {
        Press(caption);
        EXPECT_FALSE(form.ImgButHelp->showsPressed());
        Release(caption);
    }
    EXPECT_EQ(rig.help.calls, 0);
    EXPECT_EQ(form.ImgButAbout->tag(), 0);
    EXPECT_EQ(ShownPanel(form), form.PanelSetup);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    for (ui::TCaptionLabel* caption :
         {form.lblButHelp, form.Label1, form.lblButPower, form.lblButSetup}) {
        EXPECT_EQ(caption->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST_F(MainFormTest, RightButtonOnClearHelpAndPowerDoesNothing) {
    app::TmainForm& form = Start();
    ASSERT_TRUE(rig.Play({kNoteOn}));
    for (ui::TPushButton* b : {form.ImgButClear, form.ImgButHelp, form.ImgButPower}) {
        const QImage face = b->picture().toImage();
        Press(b, Qt::RightButton);
        EXPECT_EQ(b->picture().toImage(), face) << b->objectName().toStdString();
        Release(b, Qt::RightButton);
    }
    Press(form.lblButClear, Qt::RightButton);
    Release(form.lblButClear, Qt::RightButton);
    EXPECT_FALSE(form.Memo2->toPlainText().isEmpty());
    EXPECT_EQ(rig.help.calls, 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
}

TEST_F(MainFormTest, HelpButtonOpensContext1001OnTheRelease) {
    app::TmainForm& form = Start();
    Press(form.ImgButHelp);
    EXPECT_TRUE(form.ImgButHelp->showsPressed());
    EXPECT_EQ(rig.help.calls, 0);
    Release(form.ImgButHelp);
    EXPECT_EQ(rig.help.calls, 1);
    EXPECT_EQ(rig.help.LastContext(), 1001);
    EXPECT_FALSE(form.ImgButHelp->showsPressed());
}

TEST_F(MainFormTest, F1OpensTheHelpOnceWhicheverControlHasTheFocus) {
    app::TmainForm& form = Start();
    form.activateWindow();
    ASSERT_TRUE(rig.Play({kNoteOn})); // the data monitor is shown
    struct Case {
        QWidget* focus; // null: no control has the focus
        Qt::KeyboardModifiers modifiers;
        int context; // the page of the panel with the focus, or shown
    };
    const Case cases[] = {
        {form.Memo2, Qt::NoModifier, 1003},        {form.Memo2, Qt::ShiftModifier, 1003},
        {nullptr, Qt::NoModifier, 1003},           {form.cmbMidiIn, Qt::ControlModifier, 1002},
        {form.cmbMidiThru, Qt::AltModifier, 1002}, {form.Memo1, Qt::NoModifier, 1004},
        {form.MemoAbout, Qt::NoModifier, 1001},
    };
    for (const Case& c : cases) {
        if (c.focus == form.cmbMidiIn || c.focus == form.cmbMidiThru) {
            Click(form.ImgButSetup);
        } else if (c.focus == form.Memo1) {
            Click(form.ImgButSysex);
        } else if (c.focus == form.MemoAbout) {
            Click(form.ImgButAbout);
        }
        QWidget* target = &form;
        if (c.focus) {
            c.focus->setFocus();
            target = c.focus;
        } else if (QWidget* f = form.focusWidget()) {
            f->clearFocus();
        }
        SCOPED_TRACE(target->metaObject()->className());
        F1Counter reached;
        target->installEventFilter(&reached);
        const int before = rig.help.calls;
        QTest::keyClick(target, Qt::Key_F1, c.modifiers);
        target->removeEventFilter(&reached);
        EXPECT_EQ(rig.help.calls, before + 1);
        EXPECT_EQ(rig.help.LastContext(), c.context);
        EXPECT_EQ(reached.seen, 1) << "the key goes on to the control";
    }
    // Other keys open nothing.
    form.Memo2->setFocus();
    const int before = rig.help.calls;
    QTest::keyClick(form.Memo2, Qt::Key_F2);
    QTest::keyClick(form.Memo2, Qt::Key_Escape);
    EXPECT_EQ(rig.help.calls, before);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormTest, PowerShowsReleasedWhileHeldAndClosesOnTheRelease) {
    app::TmainForm& form = Start();
    const QImage lit = form.ImgButPower->picture().toImage();
    Press(form.ImgButPower);
    EXPECT_NE(form.ImgButPower->picture().toImage(), lit);
    EXPECT_TRUE(form.isVisible());
    Release(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_NE(form.ImgButPower->picture().toImage(), lit);
    EXPECT_EQ(rig.service.InOpenNow(0), 0);
    EXPECT_TRUE(rig.ReadSettings());
}
