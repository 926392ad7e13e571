// The window's devices over time: kept by name, missing ones named instead
// of replaced, devices and the service going away and coming back, a first
// start that never loops a device into itself, and input that was lost.
#include "app/extra_inputs.h"
#include "form_actions.h"
#include "support/sysex_dump.h"

using namespace velmora;
using namespace velmora::testing;

TEST_F(MainFormTest, DevicesAreKeptByNameAndFollowTheSystem) {
    rig.WriteSettings(Lines({"[Devices]", "MidiIn=0", "MidiOut=0", "[More]", "MidiInName=Keys B",
                             "MidiOutName=Gone Synth"}));
    app::TmainForm& form = Start();
    // A stored name that is listed wins over the stored number.
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    // One that is gone opens nothing, reports no error, and is named.
    EXPECT_EQ(form.ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 0);
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), -1);
    EXPECT_TRUE(rig.reporter.Texts().empty());
    EXPECT_TRUE(form.DeviceStatus().contains("'Gone Synth' is not there"));

    // The open input goes away: shown closed, said, and off the list.
    rig.service.SetPresent(false, 1, false);
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_EQ(rig.service.InOpenNow(1), 0);
    EXPECT_EQ(form.cmbMidiIn->count(), 1);
    EXPECT_TRUE(form.DeviceStatus().contains("'Keys B' went away"));
    // The Data Monitor shows it too, until the user dismisses it with Esc.
    form.ImgButDataClick();
    EXPECT_TRUE(form.lineWarning->isVisible());
    EXPECT_TRUE(form.WarningText().contains("'Keys B' went away"));
    form.RefreshDevices();
    EXPECT_TRUE(form.WarningText().contains("'Keys B' went away"));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.lineWarning->isVisible());
    EXPECT_TRUE(form.DeviceStatus().contains("'Keys B' went away"));
    // It comes back: opened again, chosen in the list.
    rig.service.SetPresent(false, 1, true);
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 1);

    // The whole service stops: everything shown closed, with the reason.
    rig.service.SetRunning(false);
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_EQ(rig.service.InOpenNow(1), 0);
    EXPECT_TRUE(form.DeviceStatus().contains("stopped"));
    EXPECT_TRUE(form.WarningText().contains("stopped"));
    EXPECT_TRUE(rig.reporter.Texts().empty());
    form.RefreshDevices(); // not back yet: nothing changes
    EXPECT_EQ(form.cmbMidiIn->count(), 0);
    // It comes back: the lists fill again and the chosen input opens again.
    rig.service.SetRunning(true);
    form.RefreshDevices();
    EXPECT_EQ(form.cmbMidiIn->count(), 2);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    EXPECT_TRUE(form.WarningText().contains("is back"));
    Click(form.lineWarning->closeButton());
    EXPECT_TRUE(form.WarningText().isEmpty());

    // The names are stored, the missing one too, so it opens once it is back.
    Click(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    const QByteArray stored = rig.ReadSettings().value_or(QByteArray());
    EXPECT_TRUE(stored.contains("MidiInName=Keys B\r\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("MidiOutName=Gone Synth\r\n")) << stored.toStdString();
}

// Devices that leave and come back between two polls of the lists (a
// cable pulled and plugged in again, a JACK client restarted): their ports
// are dead, so they are opened again, not left looking open. Likewise the
// main output after Multi Out, when the service stopped and came back
// while the router window was open.
TEST_F(MainFormTest, DevicesThatBlinkAreOpenedAgain) {
    app::TmainForm& form = Start();
    ASSERT_EQ(form.ImgInOpen->tag(), 1);
    ASSERT_EQ(form.ImgOutOpen->tag(), 1);
    for (const bool output : {false, true}) {
        rig.service.SetPresent(output, 0, false);
        rig.service.SetPresent(output, 0, true);
    }
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    EXPECT_EQ(rig.service.InOpens(0), 2);
    EXPECT_EQ(rig.service.OutOpens(0), 2);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
    EXPECT_EQ(rig.service.OutOpenNow(0), 1);
    EXPECT_TRUE(rig.service.InjectShort(0, 0x643C90)); // taken by the new port
    EXPECT_TRUE(form.midi().MidiOutHandle().SendShort(0x643C90));
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 0);
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 0);

    // One that left and is still away is said gone, as when the lists show it.
    rig.service.SetPresent(false, 0, false);
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_TRUE(form.DeviceStatus().contains("'Keys A' went away"));
    rig.service.SetPresent(false, 0, true);
    form.RefreshDevices();
    EXPECT_EQ(form.ImgInOpen->tag(), 1);

    // The service stops and comes back while Multi Out is open.
    form.showRouterWindow = [&] {
        rig.service.SetRunning(false);
        form.RefreshDevices();
        rig.service.SetRunning(true);
        form.RefreshDevices(); // not taken up again while the router runs
    };
    form.ImgButThruClick();
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(rig.service.OutOpenNow(0), 1);
    EXPECT_TRUE(form.midi().MidiOutHandle().SendShort(0x643C90));
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST(FirstStart, NeverPassesThruFromADeviceBackIntoItself) {
    const std::string through = "Midi Through:Midi Through Port-0 14:0";
    {
        MainFormRig rig({through}, {through});
        app::TmainForm& form = rig.Start();
        EXPECT_EQ(form.ImgThru->tag(), 0);
        EXPECT_TRUE(form.DeviceStatus().contains("Thru is off"));
        EXPECT_EQ(rig.service.OutOpenNow(0), 1); // open, but nothing goes through
    }
    MainFormRig rig({through, "Synth:in"}, {through});
    app::TmainForm& form = rig.Start();
    EXPECT_EQ(form.ImgThru->tag(), 1);
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 1);
    EXPECT_TRUE(form.DeviceStatus().isEmpty());
}

TEST_F(MainFormTest, InputThatWasLostIsCountedInTheMonitors) {
    rig.service.SetInputQueueBytes(256);
    app::TmainForm& form = Start();
    EXPECT_FALSE(form.lblLostData->isVisible() || form.lblLostSysex->isVisible());
    EXPECT_FALSE(
        rig.service.InjectSysex(0, velmora::testing::SysexDump(4000))); // larger than the queue
    Click(form.ImgButData);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.lblLostData->isVisible(); }, 5000));
    EXPECT_EQ(form.lblLostData->text(), QStringLiteral("Lost input: 1"));
    EXPECT_EQ(form.LostInput(), 1u);
    // What an extra input lost counts too.
    form.SetExtraInputs({"Keys B"});
    ASSERT_TRUE(form.extraInputs().IsOpen(1));
    EXPECT_FALSE(rig.service.InjectSysex(rig.service.InDeviceNumber("Keys B"),
                                         velmora::testing::SysexDump(4000)));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form.lblLostData->text() == QStringLiteral("Lost input: 2"); }, 5000));
    EXPECT_EQ(form.LostInput(), 2u);
}

// Thru's loop guard in the window: a repeating pattern with no way back adds
// nothing; a loop through a client that passes everything on (Synth A back
// into Keys A, as Midi Through does) is broken within 20 passes, shown, and
// said; the guard switched off is remembered under [More].
TEST_F(MainFormTest, ThruBreaksALoopAndAddsNothingToAPattern) {
    rig.WriteSettings(Lines({"[Devices]", "MidiIn=0", "MidiOut=0", "MidiThru=1"}));
    app::TmainForm& form = Start();
    ASSERT_EQ(form.ImgThru->tag(), 1);
    const ShortMessage hatOn = PackShortMessage(0x99, 0x2A, 0x64);
    const ShortMessage hatOff = PackShortMessage(0x89, 0x2A, 0x00);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(rig.service.InjectShort(0, hatOn));
        ASSERT_TRUE(rig.service.InjectShort(0, hatOff));
    }
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.service.SentCount(0), 200u);
    for (const midi::SentMessage& sent : rig.service.Sent(0)) {
        EXPECT_FALSE(sent.isLong);
    }

    rig.service.ClearSent(0);
    rig.service.SetLoopback(0, 0);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.DeviceStatus().contains("feedback loop"); }));
    EXPECT_TRUE(form.WarningText().contains("feedback loop"));
    EXPECT_EQ(form.ImgThru->tag(), 0);
    EXPECT_TRUE(form.lblHistoryStatus->text().contains("feedback loop"));
    std::size_t passes = 0;
    for (const midi::SentMessage& sent : rig.service.Sent(0)) {
        passes += sent.isLong ? 0 : 1;
    }
    EXPECT_GE(passes, 2u);
    EXPECT_LE(passes, 20u);

    form.SetLoopGuard(false);
    Click(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_TRUE(rig.ReadSettings().value_or(QByteArray()).contains("\nLoopGuard=0\r\n"));
}

TEST_F(MainFormTest, DeviceListsAreReadAgainOnlyWhenTheServiceSaysTheyChanged) {
    app::TmainForm& form = Start();
    form.RefreshDevices();
    const std::uint64_t reads = rig.service.Calls(midi::SimOp::InCaps);
    form.RefreshDevices();
    form.RefreshDevices();
    EXPECT_EQ(rig.service.Calls(midi::SimOp::InCaps), reads);
    // A change is taken in at the next look, and only once.
    const int inputs = form.cmbMidiIn->count();
    rig.service.SetPresent(false, 1, false);
    form.RefreshDevices();
    EXPECT_EQ(form.cmbMidiIn->count(), inputs - 1);
    const std::uint64_t afterChange = rig.service.Calls(midi::SimOp::InCaps);
    EXPECT_GT(afterChange, reads);
    form.RefreshDevices();
    EXPECT_EQ(rig.service.Calls(midi::SimOp::InCaps), afterChange);
    // Where the service cannot tell, the lists are read at every look.
    rig.service.FailNth(midi::SimOp::InCaps, 1000);
    form.RefreshDevices();
    form.RefreshDevices();
    EXPECT_GT(rig.service.Calls(midi::SimOp::InCaps), afterChange + 1);
}
