// The tools beside the monitors, through the simulated service: a capture
// read back as a MIDI file, the panic on the output, the stream check's
// warnings on the warning line.
#include <QFile>

#include "app/capture_action.h"
#include "app/lint_option.h"
#include "app/panic_action.h"
#include "core/midi_file.h"
#include "core/note_tracker.h"
#include "form_actions.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

MidiFileReading ReadBack(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {{}, "not written"};
    }
    const QByteArray bytes = file.readAll();
    return ReadMidiFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                  static_cast<std::size_t>(bytes.size())));
}

// The file's events without its meta events, as they go on the wire.
std::vector<std::vector<std::uint8_t>> WireEvents(const MidiFile& file) {
    std::vector<std::vector<std::uint8_t>> events;
    for (const MidiFileEvent& e : file.tracks.at(0).events) {
        if (e.kind != MidiFileEventKind::Meta) {
            events.push_back(e.bytes);
        }
    }
    return events;
}

} // namespace

// The menu item starts a capture into the chosen file and counts what comes;
// choosing it again writes a type 0 file with every event in order, sysex
// and clock included; a capture still running when the window closes is written too.
TEST_F(MainFormTest, CaptureWritesWhatArrivesAsAMidiFile) {
    app::TmainForm& form = Start();
    const QString first = rig.dir.filePath(QStringLiteral("first.mid"));
    const QString second = rig.dir.filePath(QStringLiteral("second.mid"));
    QString chosen = first;
    form.capture().chooseFile = [&chosen] { return chosen; };
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x30, 0x40)})); // before the capture

    form.capture().action()->trigger();
    ASSERT_TRUE(form.capture().Capturing());
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64), PackShortMessage(0xB0, 0x07, 0x50)}));
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x43, 0x10, 0x01, 0xF7}));
    ASSERT_TRUE(rig.Play({PackShortMessage(0xF8, 0, 0), PackShortMessage(0x80, 0x3C, 0x00)}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return form.capture().action()->text() == QStringLiteral("Stop &capture (5 events)");
        },
        20000));
    form.capture().action()->trigger();
    EXPECT_FALSE(form.capture().Capturing());
    EXPECT_TRUE(form.Warning().contains(QStringLiteral("5 events captured to first.mid")));

    const MidiFileReading read = ReadBack(first);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.file.format, 0);
    ASSERT_EQ(read.file.tracks.size(), 1u);
    const std::vector<std::vector<std::uint8_t>> expected = {{0x90, 0x3C, 0x64},
                                                             {0xB0, 0x07, 0x50},
                                                             {0xF0, 0x43, 0x10, 0x01, 0xF7},
                                                             {0xF8},
                                                             {0x80, 0x3C, 0x00}};
    EXPECT_EQ(WireEvents(read.file), expected);
    std::uint64_t last = 0;
    for (const MidiFileEvent& e : read.file.tracks[0].events) {
        EXPECT_GE(e.tick, last);
        last = e.tick;
    }

    chosen = second;
    form.capture().action()->trigger();
    ASSERT_TRUE(rig.Play({PackShortMessage(0x91, 0x40, 0x10)}));
    Click(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    const MidiFileReading atClose = ReadBack(second);
    ASSERT_EQ(atClose.error, "");
    EXPECT_EQ(WireEvents(atClose.file),
              (std::vector<std::vector<std::uint8_t>>{{0x91, 0x40, 0x10}}));
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

// A capture that reaches its limit is written and ended at once, the sysex
// it was in the middle of kept as it came; the warning line says it is full.
TEST_F(MainFormTest, CaptureStopsAndSavesAtItsLimit) {
    app::TmainForm& form = Start();
    const QString path = rig.dir.filePath(QStringLiteral("full.mid"));
    form.capture().chooseFile = [&path] { return path; };
    // Room for a note and a sysex block of four bytes (each event costs its
    // bytes and its entry), not for one more event.
    form.capture().limitBytes = 2 * (sizeof(CapturedMessage) + 16) + 8;
    form.capture().action()->trigger();
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x43, 0x10, 0x01}));
    ASSERT_TRUE(form.capture().Capturing());
    ASSERT_TRUE(rig.Play({PackShortMessage(0x80, 0x3C, 0x00), PackShortMessage(0x90, 0x3E, 0x64)}));

    EXPECT_FALSE(form.capture().Capturing());
    EXPECT_EQ(form.capture().action()->text(), QStringLiteral("Capture to &MIDI file..."));
    EXPECT_TRUE(form.Warning().contains(
        QStringLiteral("Capture full (128 MB), stopped: 2 events captured to full.mid")))
        << form.Warning().toStdString();
    const MidiFileReading read = ReadBack(path);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(WireEvents(read.file), (std::vector<std::vector<std::uint8_t>>{
                                         {0x90, 0x3C, 0x64}, {0xF0, 0x43, 0x10, 0x01}}));
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

// The panic's shortcut sends a note-off for each note still on (not for one
// already off), then All Notes Off and the pedal up on every channel.
TEST_F(MainFormTest, PanicSilencesTheNotesSeenAndEveryChannel) {
    rig.WriteSettings(Lines({"[Devices]", "MidiIn=0", "MidiOut=0", "MidiThru=0"}));
    app::TmainForm& form = Start();
    const std::initializer_list<ShortMessage> played = {PackShortMessage(0x90, 0x3C, 0x64),
                                                        PackShortMessage(0x92, 0x40, 0x50),
                                                        PackShortMessage(0x80, 0x3C, 0x00)};
    ASSERT_TRUE(rig.Play(played));
    rig.service.ClearSent(0);

    QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    std::vector<ShortMessage> sent;
    for (const midi::SentMessage& m : rig.service.Sent(0)) {
        EXPECT_FALSE(m.isLong);
        sent.push_back(m.message);
    }
    ASSERT_EQ(sent.size(), 33u);
    EXPECT_EQ(sent[0], PackShortMessage(0x82, 0x40, 0x00));
    NoteTracker seen;
    for (ShortMessage m : played) {
        seen.Feed(m);
    }
    EXPECT_EQ(sent, PanicMessages(&seen));
    EXPECT_TRUE(form.Warning().contains(QStringLiteral("33 messages sent")));
    EXPECT_EQ(form.panic().Notes().NotesOn(), 0);
}

// Switched on, the stream check reports a note left on when the input
// closes, on the warning line until the check is off; the option is
// remembered under [More].
TEST_F(MainFormTest, StreamCheckWarnsOfAStuckNote) {
    app::TmainForm& form = Start();
    form.lint().action()->trigger();
    ASSERT_TRUE(form.lint().On());
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    Click(form.ImgButSetup); // the note brought the Data Monitor to the front
    Click(form.ImgInOpen);
    ASSERT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form.WarningText().contains("1 note still on"); }, 20000))
        << form.WarningText().toStdString();
    EXPECT_TRUE(form.WarningText().startsWith("Check: "));
    form.lint().action()->trigger();
    EXPECT_EQ(form.WarningText(), QString());
    form.lint().action()->trigger(); // on again, to be remembered
    Click(form.ImgButPower);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_TRUE(rig.ReadSettings().value_or(QByteArray()).contains("\r\nStreamCheck=1\r\n"));
}
