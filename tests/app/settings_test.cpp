// The settings file as the window uses it: read at start, applied to the
// controls and device lists, written whole at close; and the starts that
// fail or meet a bad file.
#include "form_actions.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

// The eleven lines, then the names of chosen devices (of the rig's lists)
// that are not the first of their list.
QByteArray Written(int midiIn, int midiOut, int thru, int activeSense, int afterTouch, int jumpData,
                   int jumpSysex, int clearSysex) {
    QString more;
    if (midiIn != 0) {
        more += QStringLiteral("MidiInName=Keys %1\r\n").arg(QChar('A' + midiIn));
    }
    if (midiOut != 0) {
        more += QStringLiteral("MidiOutName=Synth %1\r\n").arg(QChar('A' + midiOut));
    }
    return (QStringLiteral("[Velmora]\r\n[Devices]\r\nMidiIn=%1\r\nMidiOut=%2\r\nMidiThru=%3\r\n"
                           "[Preference]\r\nActiveSenseLED=%4\r\nAfterTouchMonitorFilter=%5\r\n"
                           "JumpData=%6\r\nJumpSysex=%7\r\nClearSysex=%8\r\n")
                .arg(midiIn)
                .arg(midiOut)
                .arg(thru)
                .arg(activeSense)
                .arg(afterTouch)
                .arg(jumpData)
                .arg(jumpSysex)
                .arg(clearSysex) +
            (more.isEmpty() ? QString() : QStringLiteral("[More]\r\n") + more))
        .toLatin1();
}

// Closes the window through its Power button, as a user does.
void PowerOff(app::TmainForm& form) {
    Click(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
}

} // namespace

TEST_F(MainFormTest, PowerClosesThePortsAndWritesTheElevenLines) {
    app::TmainForm& form = Start();
    EXPECT_FALSE(rig.ReadSettings());
    PowerOff(form);
    EXPECT_EQ(rig.service.InOpenNow(0), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 0);
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_EQ(form.ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.ReadSettings(), Written(0, 0, 1, 1, 0, 1, 1, 0));
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST_F(MainFormTest, StoredValuesAreAppliedAtStartAndWrittenBackAtClose) {
    // Any order, any section, any letter case; other keys and lines are ignored.
    rig.WriteSettings(Lines({"; written by hand", "[Preference]", "JUMPDATA=0", "clearsysex=1",
                             "JumpSysex=2", "AfterTouchMonitorFilter=1", "ActiveSenseLED=0",
                             "[Devices]", "MidiOut=$2", "MidiIn=1 ", "MidiThru=0", "Colour=7"}));
    app::TmainForm& form = Start();
    EXPECT_EQ(form.ImgJumpData->tag(), 0);
    EXPECT_EQ(form.ImgClearSysex->tag(), 1);
    EXPECT_EQ(form.ImgJumpSysex->tag(), 0);
    EXPECT_EQ(form.ImgAfterTouch->tag(), 1);
    EXPECT_EQ(form.ImgActiveSense->tag(), 0);
    EXPECT_FALSE(form.ImgActiveSense->showsOnFace());
    EXPECT_EQ(form.ImgThru->tag(), 0);
    EXPECT_FALSE(form.ImgThru->showsOnFace());
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 2);
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 1);
    EXPECT_EQ(rig.service.OutOpenNow(2), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    EXPECT_EQ(rig.service.OutOpens(0), 0);
    EXPECT_EQ(rig.service.InOpens(0), 0);
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(1, 2, 0, 0, 1, 0, 0, 1));
}

TEST_F(MainFormTest, ChoicesMadeInSetupAreWrittenAtClose) {
    app::TmainForm& form = Start();
    // Preferences by their boxes and by their captions, the thru switch, the devices.
    Click(form.ImgActiveSense);
    Click(form.lblAfterTouch);
    Click(form.lblJumpData);
    Click(form.ImgJumpSysex);
    Click(form.lblClearSysex);
    Click(form.ImgThru);
    ChooseEntry(form.cmbMidiOut, 1);
    ChooseEntry(form.cmbMidiIn, 1);
    // The thru channel and the router's rows are kept under [More], the
    // rows that differ from a fresh start's only.
    ChooseEntry(form.cmbMidiThru, 5);
    EXPECT_EQ(form.cmbMidiThru->currentIndex(), 5);
    form.routerRows[0].device = "Synth A"; // the first device: as fresh
    form.routerRows[2] = {true, "Synth B", 3, 30, 36, 84};
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(1, 1, 0, 0, 1, 0, 0, 1) +
                                      "ThruChannel=5\r\nRouter3=1,3,30,36,84,Synth B\r\n");

    rig.form.reset();
    app::TmainForm& again = rig.Start();
    EXPECT_EQ(again.cmbMidiThru->currentIndex(), 5);
    EXPECT_EQ(again.path().thruChannel.load(), 5);
    EXPECT_EQ(again.routerRows[2], (RouterRow{true, "Synth B", 3, 30, 36, 84}));
    EXPECT_EQ(again.routerRows[1], RouterRow{});
}

TEST_F(MainFormTest, StoredDeviceBeyondTheListLeavesDeviceZeroAndIsRepaired) {
    rig.WriteSettings(Lines({"MidiIn=5", "MidiOut=-1", "JumpData=-1", "ActiveSenseLED="}));
    app::TmainForm& form = Start();
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 0);
    EXPECT_EQ(form.midi().MidiInDeviceName, *rig.service.InDeviceName(0));
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 0);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
    EXPECT_EQ(form.ImgJumpData->tag(), 1);    // -1: the default
    EXPECT_EQ(form.ImgActiveSense->tag(), 1); // empty: the default
    EXPECT_TRUE(rig.reporter.Texts().empty());
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(0, 0, 1, 1, 0, 1, 1, 0));
}

TEST_F(MainFormTest, StoredNegativeDeviceCountsAsNotStored) {
    rig.WriteSettings(Lines({"MidiIn=-3", "MidiOut=-5"}));
    app::TmainForm& form = Start();
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 0);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    EXPECT_TRUE(rig.reporter.Texts().empty());
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(0, 0, 1, 1, 0, 1, 1, 0));
}

TEST_F(MainFormTest, PortThatCannotBeClosedAtShutdownIsReportedAndTheCloseGoesOn) {
    app::TmainForm& form = Start();
    Click(form.ImgJumpData);
    rig.service.FailNth(midi::SimOp::InClose);
    PowerOff(form);
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{midi::text::kCloseIn});
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(form.ImgOutOpen->tag(), 0);
    EXPECT_EQ(rig.ReadSettings(), Written(0, 0, 1, 1, 0, 0, 1, 0));
}

TEST_F(MainFormTest, DefaultDevicesAndEmptyNamesLeaveNoNamesInTheFile) {
    rig.WriteSettings(Lines(
        {"MidiIn=1", "MidiOut=0", "[More]", "MidiInName=", "MidiOutName=", "WindowWidth=638"}));
    app::TmainForm& form = Start();
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 1);
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(1, 0, 1, 1, 0, 1, 1, 0));
    EXPECT_FALSE(rig.ReadSettings()->contains("Name=\r\n"));
}

TEST_F(MainFormTest, FileWithOnlyItsTitleLineActsAsMissingAndIsRewrittenWhole) {
    rig.WriteSettings("[Velmora]\r\n");
    app::TmainForm& form = Start();
    EXPECT_EQ(form.ImgThru->tag(), 1);
    EXPECT_EQ(form.ImgJumpData->tag(), 1);
    EXPECT_EQ(form.ImgClearSysex->tag(), 0);
    EXPECT_TRUE(rig.reporter.Texts().empty());
    PowerOff(form);
    EXPECT_EQ(rig.ReadSettings(), Written(0, 0, 1, 1, 0, 1, 1, 0));
}

TEST_F(MainFormTest, UnreadableSettingsFileIsReportedAndTheProgramStillRunsAndCloses) {
    // A folder where the file should be: it exists but cannot be read, nor replaced.
    ASSERT_TRUE(QDir().mkpath(rig.settingsPath));
    app::TmainForm& form = Start();
    std::vector<std::string> texts = rig.reporter.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].starts_with("Cannot read the settings file")) << texts[0];
    EXPECT_NE(texts[0].find(rig.settingsPath.toStdString()), std::string::npos) << texts[0];
    // Defaults hold and the ports open.
    EXPECT_EQ(form.ImgJumpData->tag(), 1);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    EXPECT_EQ(form.lblExp[0]->text(), QStringLiteral("Note On"));

    PowerOff(form);
    texts = rig.reporter.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[1].starts_with("Cannot write the settings file")) << texts[1];
    EXPECT_EQ(rig.service.InOpenNow(0), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 0);
    EXPECT_TRUE(QFileInfo(rig.settingsPath).isDir());
}

class NoDeviceStart : public ::testing::TestWithParam<bool> {};

TEST_P(NoDeviceStart, ShowsTheMessageClosesAndKeepsTheSettingsFile) {
    const bool noOutput = GetParam();
    MainFormRig rig(noOutput ? std::vector<std::string>{} : std::vector<std::string>{"Synth A"},
                    noOutput ? std::vector<std::string>{"Keys A"} : std::vector<std::string>{});
    const QByteArray stored = Lines({"MidiIn=0", "MidiOut=0", "JumpData=0"});
    rig.WriteSettings(stored);
    app::TmainForm& form = rig.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_TRUE(form.StartFailed());
    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>{noOutput ? midi::text::kNoOutDevice
                                                                      : midi::text::kNoInDevice});
    // Without outputs the input list is not even filled.
    EXPECT_EQ(form.cmbMidiOut->count(), noOutput ? 0 : 1);
    EXPECT_EQ(form.cmbMidiIn->count(), 0);
    EXPECT_EQ(rig.service.OutOpens(0), 0);
    EXPECT_EQ(rig.service.InOpens(0), 0);
    EXPECT_EQ(rig.ReadSettings(), stored);

    // Shown again, it does not try again, and closing writes nothing.
    form.show();
    QApplication::processEvents();
    form.close();
    EXPECT_EQ(rig.reporter.Texts().size(), 1u);
    EXPECT_EQ(rig.ReadSettings(), stored);
}

TEST(NoDeviceStartWithoutFile, WritesNoSettingsFile) {
    MainFormRig rig({}, {"Keys A"});
    app::TmainForm& form = rig.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_FALSE(rig.ReadSettings());
    EXPECT_TRUE(QDir(rig.dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Lists, NoDeviceStart, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NoOutput" : "NoInput"; });

// A device named with control characters, quotes, the file's own marks and
// UTF-8 (a JACK client may name its port so) is chosen, stored, and opened
// again at the next start.
TEST(SettingsNames, ADeviceWithAnyNameOpensAgainAfterARestart) {
    const std::string odd = "Keys\r\nB\t\"x\"=[;]\xC3\xA9";
    MainFormRig rig({"Synth A", odd + " out"}, {"Keys A", odd});
    {
        app::TmainForm& form = rig.Start();
        ChooseEntry(form.cmbMidiIn, 1);
        ChooseEntry(form.cmbMidiOut, 1);
        ASSERT_EQ(rig.service.InOpenNow(1), 1);
        PowerOff(form);
    }
    rig.Create();
    app::TmainForm& form = rig.Start();
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 1);
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 1);
    EXPECT_EQ(rig.service.InOpenNow(1), 1);
    EXPECT_EQ(rig.service.OutOpenNow(1), 1);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_FALSE(form.DeviceStatus().contains("not there")) << form.DeviceStatus().toStdString();
}
