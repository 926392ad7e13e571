// The Setup panel's port switches and device lists with the failures the
// service can report, and the thru to the main output with its channel.
#include "form_actions.h"

using namespace velmora;
using namespace velmora::testing;
using midi::SimOp;

namespace {

class SetupPanelTest : public MainFormTest {
  protected:
    void SetUp() override { form = &Start(); }

    // The short messages the main output device `device` was sent.
    std::vector<ShortMessage> SentShort(int device) {
        std::vector<ShortMessage> out;
        for (const auto& m : rig.service.Sent(device)) {
            if (!m.isLong) {
                out.push_back(m.message);
            }
        }
        return out;
    }

    app::TmainForm* form = nullptr;
};

} // namespace

TEST_F(SetupPanelTest, InputHeldByAnotherProgramShowsTheMessageAndAClosedSwitch) {
    rig.service.FailEvery(SimOp::OpenIn, 1);
    ChooseEntry(form->cmbMidiIn, 1);
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{midi::text::kOpenIn});
    EXPECT_EQ(form->ImgInOpen->tag(), 0);
    EXPECT_FALSE(form->ImgInOpen->showsOnFace());
    EXPECT_EQ(rig.service.InOpenNow(0), 0); // the old device was closed first
    EXPECT_EQ(form->midi().MidiInDeviceName, *rig.service.InDeviceName(1)); // the choice stays
    EXPECT_EQ(form->cmbMidiIn->currentIndex(), 1);

    // Once free, the switch opens the chosen device.
    rig.service.ClearFailures();
    Click(form->ImgInOpen);
    EXPECT_EQ(form->ImgInOpen->tag(), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    rig.SetElapsed(500);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Note On"));
}

TEST_F(SetupPanelTest, OutputHeldByAnotherProgramShowsTheMessageAndAClosedSwitch) {
    rig.service.FailEvery(SimOp::OpenOut, 2);
    ChooseEntry(form->cmbMidiOut, 2);
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{midi::text::kOpenOut});
    EXPECT_EQ(form->ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 0);
    EXPECT_EQ(form->midi().MidiOutDeviceName, *rig.service.OutDeviceName(2));
    // The switch tries the chosen device again, and fails again.
    Click(form->ImgOutOpen);
    EXPECT_EQ(rig.reporter.Texts().size(), 2u);
    EXPECT_EQ(form->ImgOutOpen->tag(), 0);
    // Another device opens.
    ChooseEntry(form->cmbMidiOut, 1);
    EXPECT_EQ(form->ImgOutOpen->tag(), 1);
    EXPECT_EQ(rig.service.OutOpenNow(1), 1);
}

TEST_F(SetupPanelTest, ChoosingTheSelectedEntryDoesNothingEvenWhenClosed) {
    ChooseEntry(form->cmbMidiIn, 0);
    ChooseEntry(form->cmbMidiOut, 0);
    EXPECT_EQ(rig.service.InOpens(0), 1);
    EXPECT_EQ(rig.service.OutOpens(0), 1);
    Click(form->ImgInOpen);
    Click(form->ImgOutOpen);
    ASSERT_EQ(form->ImgInOpen->tag(), 0);
    ASSERT_EQ(form->ImgOutOpen->tag(), 0);
    ChooseEntry(form->cmbMidiIn, 0);
    ChooseEntry(form->cmbMidiOut, 0);
    EXPECT_EQ(form->ImgInOpen->tag(), 0);
    EXPECT_EQ(form->ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.service.InOpens(0), 1);
    EXPECT_EQ(rig.service.OutOpens(0), 1);
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST_F(SetupPanelTest, ChoosingAnotherInputWhileSwitchedOffOpensIt) {
    Click(form->ImgInOpen);
    ASSERT_EQ(form->ImgInOpen->tag(), 0);
    ASSERT_EQ(rig.service.InOpenNow(0), 0);
    ChooseEntry(form->cmbMidiIn, 1);
    EXPECT_EQ(form->ImgInOpen->tag(), 1);
    EXPECT_TRUE(form->ImgInOpen->showsOnFace());
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    EXPECT_EQ(rig.service.InOpenNow(0), 0);
    // Back to the first one: the open port is closed before.
    ChooseEntry(form->cmbMidiIn, 0);
    EXPECT_EQ(rig.service.InOpenNow(1), 0);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
}

TEST_F(SetupPanelTest, FailedCloseKeepsTheSwitchOpen) {
    rig.service.FailNth(SimOp::InClose);
    Click(form->ImgInOpen);
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{midi::text::kCloseIn});
    EXPECT_EQ(form->ImgInOpen->tag(), 1);
    EXPECT_TRUE(form->ImgInOpen->showsOnFace());

    rig.service.FailNth(SimOp::OutClose);
    Click(form->ImgOutOpen);
    EXPECT_EQ(rig.reporter.Texts().back(), midi::text::kCloseOut);
    EXPECT_EQ(form->ImgOutOpen->tag(), 1);

    // The next tries succeed.
    Click(form->ImgInOpen);
    Click(form->ImgOutOpen);
    EXPECT_EQ(form->ImgInOpen->tag(), 0);
    EXPECT_EQ(form->ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.service.InOpenNow(0), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 0);
    EXPECT_EQ(rig.reporter.Texts().size(), 2u);

    // Choosing another input while the open one can't close keeps the old
    // one, shown open and chosen: it still delivers.
    Click(form->ImgInOpen);
    rig.service.FailNth(SimOp::InClose);
    ChooseEntry(form->cmbMidiIn, 1);
    EXPECT_EQ(form->ImgInOpen->tag(), 1);
    EXPECT_EQ(form->cmbMidiIn->currentIndex(), 0);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 0);
}

TEST_F(SetupPanelTest, FailedCloseOfTheOldOutputStillTakesTheNewDevice) {
    rig.service.FailNth(SimOp::OutClose);
    ChooseEntry(form->cmbMidiOut, 1);
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{midi::text::kCloseOut});
    EXPECT_EQ(form->midi().MidiOutDeviceName, *rig.service.OutDeviceName(1));
    EXPECT_EQ(form->ImgOutOpen->tag(), 1);
    EXPECT_EQ(rig.service.OutOpenNow(1), 1);
}

TEST_F(SetupPanelTest, ThruForwardsOnTheChosenChannel) {
    const ShortMessage note3 = PackShortMessage(0x93, 0x3C, 0x40);
    const ShortMessage start = PackShortMessage(0xFA, 0, 0);
    const ShortMessage sensing = PackShortMessage(0xFE, 0, 0);
    const ShortMessage clock = PackShortMessage(0xF8, 0, 0);
    ASSERT_TRUE(rig.Play({note3, start}));
    ChooseEntry(form->cmbMidiThru, 10);
    ASSERT_EQ(form->cmbMidiThru->currentText(), QStringLiteral("Channel 10"));
    ASSERT_TRUE(rig.Play({note3, start, sensing, clock}));
    EXPECT_EQ(SentShort(0), (std::vector<ShortMessage>{
                                note3, start, PackShortMessage(0x99, 0x3C, 0x40), start, sensing}));
    // The window showed the message as received.
    EXPECT_EQ(form->Memo2->toPlainText().count(QStringLiteral("93 3C 40 ")), 2);
}

TEST_F(SetupPanelTest, ThruSwitchAndClosedOutputStopTheForwarding) {
    const ShortMessage note = PackShortMessage(0x90, 0x3C, 0x40);
    Click(form->ImgThru);
    EXPECT_EQ(form->ImgThru->tag(), 0);
    EXPECT_FALSE(form->ImgThru->showsOnFace());
    ASSERT_TRUE(rig.Play({note}));
    EXPECT_TRUE(SentShort(0).empty());
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Note On"));
    Click(form->ImgButSetup); // the note brought the data monitor to the front

    Click(form->ImgThru);
    EXPECT_EQ(form->ImgThru->tag(), 1);
    Click(form->ImgOutOpen);
    ASSERT_EQ(form->ImgOutOpen->tag(), 0);
    ASSERT_TRUE(rig.Play({note}));
    EXPECT_TRUE(SentShort(0).empty());
    Click(form->ImgButSetup);
    Click(form->ImgOutOpen);
    ASSERT_TRUE(rig.Play({note}));
    EXPECT_EQ(SentShort(0), std::vector<ShortMessage>{note});
}
