// Extra inputs in the window, on the simulated service: what two inputs send
// is shown once each with its source, in order per input, and captured with
// a track per input; the choice is kept across a restart and follows the
// device list.
#include <QFile>
#include <QTest>
#include <map>

#include "app/capture_action.h"
#include "app/extra_inputs.h"
#include "core/midi_file.h"
#include "core/source_column.h"
#include "form_actions.h"
#include "ui/from_core.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The messages of each source in the order the history holds them.
std::map<std::string, std::vector<ShortMessage>> BySource(const Scrollback& scrollback) {
    std::map<std::string, std::vector<ShortMessage>> by;
    for (const ScrollbackEntry& e : scrollback.Entries()) {
        by[e.source].push_back(e.message);
    }
    return by;
}

class InputsTest : public MainFormTest {
  protected:
    // Waits until the window has taken in `lines` history lines from both inputs.
    bool Settled(std::size_t lines) {
        return QTest::qWaitFor(
            [&] {
                return rig.form->extraInputs().Queued() == 0 &&
                       rig.form->view().scrollback().Entries().size() >= lines;
            },
            30000);
    }
    int keysA() { return rig.service.InDeviceNumber("Keys A"); }
    int keysB() { return rig.service.InDeviceNumber("Keys B"); }
};

} // namespace

TEST_F(InputsTest, TwoInputsAreShownOnceEachWithTheirSourceInOrderAndCapturedOnATrackEach) {
    app::TmainForm& form = Start();
    ASSERT_EQ(form.midi().MidiInDeviceName, "Keys A");
    form.SetExtraInputs({"Keys B", "Keys A"}); // the Setup panel's own is left out
    EXPECT_EQ(form.ExtraInputNames(), std::vector<std::string>{"Keys B"});
    ASSERT_TRUE(form.extraInputs().IsOpen(1));
    const QString midPath = rig.dir.filePath(QStringLiteral("two.mid"));
    form.capture().chooseFile = [&] { return midPath; };
    form.capture().action()->trigger();

    std::vector<ShortMessage> fromA, fromB;
    for (std::uint8_t i = 0; i < 40; ++i) {
        fromA.push_back(PackShortMessage(0x90, static_cast<std::uint8_t>(0x30 + i), 0x40));
        fromB.push_back(PackShortMessage(0xB3, 0x07, i));
        ASSERT_TRUE(rig.service.InjectShort(keysA(), fromA.back()));
        ASSERT_TRUE(rig.service.InjectShort(keysB(), fromB.back()));
    }
    ASSERT_TRUE(
        rig.service.InjectSysex(keysB(), std::vector<std::uint8_t>{0xF0, 0x7D, 0x01, 0xF7}));
    ASSERT_TRUE(Settled(81));
    ASSERT_TRUE(rig.Settle());

    fromB.push_back(0xF0); // the sysex line
    auto by = BySource(form.view().scrollback());
    EXPECT_EQ(by.size(), 2u);
    EXPECT_EQ(by["Keys A"], fromA);
    EXPECT_EQ(by["Keys B"], fromB);
    // The box has the column (found lines hold it at every line); the Setup
    // panel's input alone feeds the rows and the sysex monitor.
    EXPECT_TRUE(form.FindInHistory(QStringLiteral("keys b"), true));
    const QString box = form.Memo2->toPlainText();
    EXPECT_TRUE(box.contains(ui::FromCore(SourceCell("Keys B") + "  B3 07 27    Control Change")));
    EXPECT_TRUE(box.contains(QStringLiteral("Sysex, 4 bytes: F0 7D 01 F7")));
    EXPECT_EQ(form.sysexLog().BlockCount(), 0);
    EXPECT_TRUE(form.lblHex[0]->text().contains(QStringLiteral("90")));

    const QString csvPath = rig.dir.filePath(QStringLiteral("two.csv"));
    ASSERT_TRUE(form.SaveHistory(csvPath, true));
    const QByteArray csv = FileBytes(csvPath);
    EXPECT_TRUE(csv.startsWith("Time (ms),Bytes,Kind,Channel,Message,Details,Source\r\n"));
    EXPECT_EQ(csv.count(",Keys B\r\n"), 41);

    form.capture().action()->trigger();
    const QByteArray mid = FileBytes(midPath);
    const MidiFileReading read = ReadMidiFile(
        std::span(reinterpret_cast<const std::uint8_t*>(mid.data()), std::size_t(mid.size())));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.file.format, 1);
    ASSERT_EQ(read.file.tracks.size(), 3u); // the tempo's, then one per input
    for (std::size_t t = 1; t <= 2; ++t) {
        std::vector<std::vector<std::uint8_t>> wire;
        std::string name;
        for (const MidiFileEvent& e : read.file.tracks[t].events) {
            if (e.kind == MidiFileEventKind::Meta && e.metaType == kMetaTrackName) {
                name.assign(e.bytes.begin(), e.bytes.end());
            } else if (e.kind != MidiFileEventKind::Meta) {
                wire.push_back(e.bytes);
            }
        }
        EXPECT_EQ(name, t == 1 ? "Keys A" : "Keys B");
        EXPECT_EQ(wire.size(), t == 1 ? 40u : 41u) << name;
    }
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST_F(InputsTest, TheChoiceSurvivesARestartFollowsTheDeviceAndWithoutItTheHistoryIsAsBefore) {
    app::TmainForm& form = Start();
    form.SetExtraInputs({"Keys B"});
    form.close();
    ASSERT_TRUE(rig.ReadSettings()->contains("ExtraInput1=Keys B\r\n"));

    rig.form.reset();
    app::TmainForm& again = Start();
    EXPECT_EQ(again.ExtraInputNames(), std::vector<std::string>{"Keys B"});
    ASSERT_TRUE(again.extraInputs().IsOpen(1));
    EXPECT_TRUE(again.view().Sources());

    // It leaves: closed, said on the warning line; back: open again.
    const int b = keysB();
    rig.service.SetPresent(false, b, false);
    again.RefreshDevices();
    EXPECT_FALSE(again.extraInputs().IsOpen(1));
    EXPECT_TRUE(again.WarningText().contains(QStringLiteral("'Keys B' is not there")));
    rig.service.SetPresent(false, b, true);
    again.RefreshDevices();
    EXPECT_TRUE(again.extraInputs().IsOpen(1));
    EXPECT_FALSE(again.WarningText().contains(QStringLiteral("Keys B")));
    ASSERT_TRUE(rig.service.InjectShort(keysB(), PackShortMessage(0x90, 0x40, 0x40)));
    ASSERT_TRUE(Settled(1));

    // The Setup panel's input becomes that one: it leaves the extra ones,
    // and with none the column, the CSV's and the stored keys are gone.
    ChooseEntry(again.cmbMidiIn, b);
    EXPECT_EQ(again.midi().MidiInDeviceName, "Keys B");
    EXPECT_TRUE(again.ExtraInputNames().empty());
    EXPECT_FALSE(again.view().Sources());
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x40)}));
    EXPECT_FALSE(again.Memo2->toPlainText().contains(QStringLiteral("Keys")));
    const QString csvPath = rig.dir.filePath(QStringLiteral("one.csv"));
    ASSERT_TRUE(again.SaveHistory(csvPath, true));
    EXPECT_TRUE(FileBytes(csvPath).startsWith("Time (ms),Bytes,Kind,Channel,Message,Details\r\n"));
    EXPECT_FALSE(FileBytes(csvPath).contains("Keys"));
    again.close();
    EXPECT_FALSE(rig.ReadSettings()->contains("ExtraInput"));
}
