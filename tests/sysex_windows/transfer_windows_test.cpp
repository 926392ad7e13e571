// The record and send windows offscreen on the simulated service, driven as
// the program drives them from the main window's buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "app/form_actions.h"
#include "app/main_form_fixture.h"
#include "app/signal_stop.h"
#include "core/sysex_request.h"
#include "support/sysex_dump.h"
#include "support/timer_ticks.h"
#include "sysex/record_form.h"
#include "sysex/send_form.h"
#include "sysex/transfer_texts.h"
#include "ui/dialog_form1.h"

using namespace velmora;
using namespace velmora::midi;
using velmora::testing::Joined;
using velmora::testing::MainFormRig;
using velmora::testing::SysexDump;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Bytes(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// Answers the next modal message box (or the skinned dialog) with its
// default button, and remembers its text.
class BoxAnswerer {
  public:
    void Arm() {
        QTimer::singleShot(0, [this] { Poll(); });
    }
    QString text;

  private:
    void Poll() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
            return;
        }
        auto& dialog = ui::dialogForm1();
        if (dialog.isVisible()) {
            text = dialog.lblStatus->text();
            QTest::keyClick(&dialog, Qt::Key_Return);
            return;
        }
        QTimer::singleShot(5, [this] { Poll(); });
    }
};

class TransferRig : public MainFormRig {
  public:
    // `ownInput`: the service makes own input ports, listed after the devices.
    explicit TransferRig(bool ownInput = false) {
        service.OfferVirtualIn(ownInput);
        app::TmainForm& f = Start();
        record = std::make_unique<sysex::TrecordForm>(f.session(), &f);
        send = std::make_unique<sysex::TsendForm>(f.midi(), &f);
        f.showRecordWindow = [this](const std::string& name) {
            if (whileRecording) {
                QTimer::singleShot(0, whileRecording);
            }
            record->Record(sysex::WaitingText(name));
        };
        f.chooseAndSendFile = [this, &f](const std::string& name) {
            send->pauseMs = f.SendPauseMs();
            send->ChooseAndSend(name);
        };
        // A complete send's end stays shown until this clock has moved on:
        // each look at it moves it on by `sendClockStep`.
        send->nowMs = [this] { return sendClock += sendClockStep; };
        record->chooseSaveFile = [this](QWidget*) { return savePath; };
        send->chooseOpenFile = [this](QWidget*) { return openPath; };
    }

    void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    std::vector<std::vector<std::uint8_t>> LongMessages(int device) {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& s : service.Sent(device)) {
            if (s.isLong) {
                out.push_back(s.bytes);
            }
        }
        return out;
    }

    std::function<void()> whileRecording;
    std::int64_t sendClock = 0;
    std::int64_t sendClockStep = 1000;
    QString savePath, openPath;
    std::unique_ptr<sysex::TrecordForm> record;
    std::unique_ptr<sysex::TsendForm> send;
};

} // namespace

TEST(RecordWindow, RecordsTwoMessagesAndSavesExactlyTheirBytes) {
    TransferRig r;
    r.savePath = r.dir.filePath("dump.syx");
    const auto a = SysexDump(10, 1), b = SysexDump(10, 2);
    std::string waiting;
    r.whileRecording = [&] {
        waiting = r.record->lblStatus->text().toStdString();
        EXPECT_EQ(r.form->midi().InputMode.load(), kRecord);
        EXPECT_TRUE(r.form->ImgButRecord->isLit());
        r.service.InjectSysex(0, a);
        r.service.InjectSysex(0, b);
        r.Play({PackShortMessage(0x90, 60, 1)}); // ignored while recording
        EXPECT_EQ(r.record->lblStatus->text(), "2 blocks received - 20 Bytes received");
        QTest::mouseClick(r.record->lblSave, Qt::LeftButton);
    };
    QTest::mouseClick(r.form->ImgButRecord, Qt::LeftButton);
    EXPECT_EQ(waiting, "Waiting for Sysex on 'Keys A'...");
    EXPECT_EQ(ReadFile(r.savePath), Bytes(Joined({a, b})));
    EXPECT_EQ(r.form->midi().InputMode.load(), kMonitor);
    EXPECT_FALSE(r.form->ImgButRecord->isLit());
    EXPECT_EQ(r.form->lblDec[0]->text(), ""); // the note was not shown
    EXPECT_TRUE(r.service.Sent(0).empty());   // nor passed through
}

TEST(RecordWindow, ALongMessageInThreeBlocksAndTheBlinkingSave) {
    TransferRig r;
    r.savePath = r.dir.filePath("long.syx");
    const auto dump = SysexDump(10000);
    r.whileRecording = [&] {
        r.service.InjectSysex(0, dump);
        r.Settle();
        EXPECT_EQ(r.record->lblStatus->text(), "3 blocks received - 10000 Bytes received");
        // No blink until more than 2000 ms have passed since the last block;
        // then each tick of the window's timer turns Save on or off.
        velmora::testing::TimerTicks blink(r.record->Timer1);
        r.ticks += 2000;
        EXPECT_TRUE(blink.Wait());
        EXPECT_EQ(r.record->ImgButSave->tag(), 0);
        r.ticks += 1;
        EXPECT_TRUE(blink.Wait());
        EXPECT_EQ(r.record->ImgButSave->tag(), 1);
        EXPECT_TRUE(blink.Wait());
        EXPECT_EQ(r.record->ImgButSave->tag(), 0); // it blinks
        QTest::keyClick(r.record.get(), Qt::Key_Escape);
    };
    QTest::mouseClick(r.form->lblButRecord, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(r.savePath)); // Escape saves nothing
    std::lock_guard lock(r.form->midi().sysex.lock);
    EXPECT_EQ(r.form->midi().sysex.SysexBuffer, dump); // kept after the window
}

TEST(RecordWindow, NothingToSaveKeepsRecordingAndAFailedSaveKeepsTheWindow) {
    TransferRig r;
    r.savePath = "/dev/full";
    BoxAnswerer answer;
    QString nothing, full;
    bool stillOpen = false;
    r.whileRecording = [&] {
        answer.Arm();
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
        nothing = answer.text;
        r.service.InjectSysex(0, SysexDump(6));
        r.Settle();
        answer.Arm();
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
        full = answer.text;
        stillOpen = r.record->isVisible();
        r.savePath.clear(); // the dialog cancelled: the window closes, no file
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
    };
    QTest::mouseClick(r.form->ImgButRecord, Qt::LeftButton);
    EXPECT_EQ(nothing, "Nothing to save !");
    EXPECT_EQ(full, "Disque plein");
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(r.record->isVisible());
    // A new recording empties what the last one left.
    r.whileRecording = [&] {
        EXPECT_EQ(r.record->recorder().Length(), 0u);
        QTest::keyClick(r.record.get(), Qt::Key_Escape);
    };
    QTest::mouseClick(r.form->ImgButRecord, Qt::LeftButton);
}

TEST(RecordWindow, AnIncompleteRecordingIsSavedOnlyAfterAWarning) {
    TransferRig r;
    r.savePath = r.dir.filePath("cut.syx");
    auto cut = SysexDump(10, 3);
    cut.pop_back(); // the device stopped before its F7
    BoxAnswerer answer;
    r.whileRecording = [&] {
        r.service.InjectSysex(0, cut);
        r.Settle();
        answer.Arm(); // Enter: "Save"
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
    };
    QTest::mouseClick(r.form->ImgButRecord, Qt::LeftButton);
    EXPECT_TRUE(answer.text.contains("incomplete") && answer.text.contains("F7"))
        << answer.text.toStdString();
    EXPECT_EQ(ReadFile(r.savePath), Bytes(cut));
}

// A note from a second source on the same input cuts the dump it falls into
// (the input ends a sysex message at any other status byte); the messages
// after it come whole, so the recording ends with an F7 and nothing is known
// to be lost. It is saved only after a warning all the same.
TEST(RecordWindow, ADumpCutByASecondSourceIsSavedOnlyAfterAWarning) {
    TransferRig r;
    r.savePath = r.dir.filePath("cut.syx");
    auto cut = SysexDump(700, 1);
    cut.pop_back();
    const auto next = SysexDump(300, 2);
    BoxAnswerer answer;
    r.whileRecording = [&] {
        r.service.InjectSysex(0, cut);
        r.service.InjectShort(0, PackShortMessage(0x90, 60, 100)); // the second source
        r.service.InjectSysex(0, next);
        r.Settle();
        answer.Arm(); // Enter: "Save"
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
    };
    QTest::mouseClick(r.form->ImgButRecord, Qt::LeftButton);
    EXPECT_TRUE(answer.text.contains("incomplete") &&
                answer.text.contains("1 message was cut off before its end (F7)"))
        << answer.text.toStdString();
    EXPECT_EQ(ReadFile(r.savePath), Bytes(Joined({cut, next})));
}

TEST(RecordWindow, OwnInputPortAndSendRequestRecordTheReplyOfAnotherProgram) {
    TransferRig r(true);
    app::TmainForm& f = *r.form;
    // The own input port is the list's last entry; choosing it opens it.
    ASSERT_EQ(f.cmbMidiIn->count(), 3);
    EXPECT_EQ(f.cmbMidiIn->itemText(2), "Velmora Monitor");
    EXPECT_EQ(f.cmbMidiIn->currentIndex(), 0); // a first start takes a device
    velmora::testing::ChooseEntry(f.cmbMidiIn, 2);
    EXPECT_EQ(f.ImgInOpen->tag(), 1);
    const int own = r.service.VirtualInDevice("Velmora Monitor");
    ASSERT_GE(own, 0);
    EXPECT_EQ(r.service.InOpenNow(own), 1);
    EXPECT_EQ(r.service.InOpenNow(0), 0);

    const std::vector<std::uint8_t> request(kIdentityRequest.begin(), kIdentityRequest.end());
    const std::vector<std::uint8_t> reply = {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x10, 0x01,
                                             0x02, 0x03, 0x01, 0x02, 0x03, 0x04, 0xF7};
    std::vector<QString> problems;
    r.record->showRequestProblem = [&](QWidget*, const QString& text) { problems.push_back(text); };
    std::optional<sysex::RequestChoice> choice;
    r.record->chooseRequest = [&](QWidget*) { return choice; };
    r.savePath = r.dir.filePath("reply.syx");
    QString afterRequest, afterReply, decoded;
    r.whileRecording = [&] {
        choice = sysex::RequestChoice{RequestKind::Hex, "F0 7E ZZ F7"};
        QTest::mouseClick(r.record->lblRequest, Qt::LeftButton);
        choice = sysex::RequestChoice{RequestKind::File, r.dir.filePath("none.syx").toStdString()};
        QTest::mouseClick(r.record->ImgButRequest, Qt::LeftButton);
        EXPECT_TRUE(r.service.Sent(0).empty()); // neither went out

        choice = sysex::RequestChoice{RequestKind::Identity, {}};
        QTest::mouseClick(r.record->ImgButRequest, Qt::LeftButton);
        afterRequest = r.record->lblStatus->text();
        EXPECT_EQ(r.LongMessages(0), (std::vector<std::vector<std::uint8_t>>{request}));
        r.PlaySysex(reply); // the other program answers on the own port
        afterReply = r.record->lblStatus->text();
        decoded = r.record->lblDecoded->text();

        // No main output: said, nothing sent.
        ASSERT_TRUE(f.midi().CloseMidiOut());
        QTest::mouseClick(r.record->ImgButRequest, Qt::LeftButton);
        EXPECT_EQ(r.service.SentCount(0), 1u);
        QTest::mouseClick(r.record->ImgButSave, Qt::LeftButton);
    };
    QTest::mouseClick(f.ImgButRecord, Qt::LeftButton);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_TRUE(problems[0].contains("\"ZZ\" is not a hexadecimal byte"))
        << problems[0].toStdString();
    EXPECT_TRUE(problems[1].contains("none.syx: file not found")) << problems[1].toStdString();
    EXPECT_EQ(problems[2], sysex::kNoOutputForRequest);
    EXPECT_EQ(afterRequest, "Request sent (6 bytes): waiting for the reply...");
    EXPECT_EQ(afterReply, "1 blocks received - 15 Bytes received");
    EXPECT_TRUE(decoded.contains("identity reply: Roland Corporation, family 0110, member 0302, "
                                 "version 01 02 03 04"))
        << decoded.toStdString();
    EXPECT_EQ(ReadFile(r.savePath), Bytes(reply));

    // Stored by its name; the number stays the device's chosen before.
    f.close();
    const QByteArray stored = r.ReadSettings().value_or(QByteArray());
    EXPECT_TRUE(stored.contains("MidiIn=0\r\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("MidiInName=Velmora Monitor\r\n")) << stored.toStdString();
    MainFormRig again;
    again.service.OfferVirtualIn(true);
    again.WriteSettings(stored);
    EXPECT_EQ(again.Start().cmbMidiIn->currentIndex(), 2);
    EXPECT_EQ(again.service.InOpenNow(again.service.VirtualInDevice("Velmora Monitor")), 1);
}

TEST(SendWindow, SendsMessagesInBlocksAndClosesItself) {
    TransferRig r;
    r.openPath = r.dir.filePath("two.syx");
    const auto a = SysexDump(20, 3), b = SysexDump(30, 4), big = SysexDump(10000);
    const std::vector<std::uint8_t> junk{0x01, 0x02};
    r.WriteFile(r.openPath, Bytes(Joined({junk, a, b, big, {0x11, 0x12}})));
    r.form->midi().ChooseMidiOut(0);
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_EQ(r.LongMessages(0),
              (std::vector<std::vector<std::uint8_t>>{
                  Joined({junk, a}), b, std::vector<std::uint8_t>(big.begin(), big.begin() + 4096),
                  std::vector<std::uint8_t>(big.begin() + 4096, big.begin() + 8192),
                  std::vector<std::uint8_t>(big.begin() + 8192, big.end())}));
    EXPECT_EQ(r.send->LastState(), sysex::SendState::Completed);
    EXPECT_EQ(r.send->LastStatus(), "Sending Sysex on 'Synth A' : completed (10052 bytes)");
    EXPECT_EQ(r.send->lblCancel->text(), "Exit");
    // The bar's maximum is the whole file; the junk after the last F7 is not sent.
    EXPECT_EQ(r.send->Gauge1->percentText(), "99%");
    EXPECT_FALSE(r.send->isVisible());
    EXPECT_FALSE(r.form->ImgButSend->isLit());
    EXPECT_TRUE(r.form->midi().InputActive.load());
}

TEST(SendWindow, EmptyFileMissingFileAndAFailedBlock) {
    TransferRig r;
    BoxAnswerer answer;
    r.openPath = r.dir.filePath("empty.syx");
    r.WriteFile(r.openPath, {});
    answer.Arm();
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_TRUE(r.LongMessages(0).empty());
    EXPECT_EQ(answer.text, QString::fromLatin1(sysex::kNoSysexInFile)); // never "completed"
    EXPECT_EQ(r.send->LastState(), sysex::SendState::Failed);

    r.openPath = r.dir.filePath("missing.syx");
    answer.Arm();
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_EQ(answer.text, "Fichier introuvable");
    EXPECT_FALSE(r.form->ImgButSend->isLit());
    r.Play({PackShortMessage(0x90, 60, 1)}); // the monitor works on
    EXPECT_EQ(r.form->lblDec[1]->text(), "60");

    r.openPath = r.dir.filePath("three.syx");
    r.WriteFile(r.openPath, Bytes(Joined({SysexDump(8), SysexDump(8), SysexDump(8)})));
    r.service.FailNth(SimOp::OutSendLong, 2);
    answer.Arm();
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_EQ(answer.text, "An error occur while sending Sysex");
    EXPECT_EQ(r.send->LastState(), sysex::SendState::Failed);
    EXPECT_EQ(r.send->LastStatus(), "An error occur while sending Sysex");
    EXPECT_EQ(r.LongMessages(0).size(), 1u); // the blocks before it went out
}

TEST(SendWindow, ACompleteSendShowsItsEndAWhileTheInputRunsWithThePauseChosenAndALongName) {
    TransferRig r;
    r.sendClockStep = 0; // the clock moves when the test says
    r.openPath = r.dir.filePath("three.syx");
    r.WriteFile(r.openPath, Bytes(Joined({SysexDump(8), SysexDump(8), SysexDump(10)})));
    r.form->SetSendPauseMs(1);
    bool shownAtEnd = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !r.send->lblResult->text().isEmpty(); }, 10000));
        shownAtEnd = r.send->isVisible();
        EXPECT_EQ(r.send->lblResult->text(), "Sent 3 messages, 26 bytes");
        // The input runs again while the end is shown: a note played now is
        // shown and passed through.
        EXPECT_TRUE(r.form->midi().InputActive.load());
        EXPECT_TRUE(r.Play({PackShortMessage(0x90, 61, 1)}));
        EXPECT_EQ(r.form->lblDec[1]->text(), "61");
        EXPECT_EQ(r.service.Sent(0).back().message, PackShortMessage(0x90, 61, 1));
        // F1 opens the send window's own page.
        QWidget* focus = r.send->focusWidget() ? r.send->focusWidget() : r.send.get();
        QTest::keyClick(focus, Qt::Key_F1);
        EXPECT_EQ(r.help.LastContext(), 1006);
        r.sendClock += r.send->endShownMs - 1;
        velmora::testing::TimerTicks endTicks(r.send->findChild<QTimer*>("endTimer"));
        EXPECT_TRUE(endTicks.Wait()); // the window's timer looks at the clock again
        EXPECT_TRUE(r.send->isVisible());
        r.sendClock += 1;
    });
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton); // returns once the window closed
    EXPECT_TRUE(shownAtEnd);
    EXPECT_EQ(r.send->pauseMs, 1);
    EXPECT_EQ(r.LongMessages(0).size(), 3u);

    // A device name too long for the status line is shortened in the middle.
    const std::string name(120, 'n');
    r.sendClockStep = 1000;
    r.form->chooseAndSendFile = [&](const std::string&) { r.send->ChooseAndSend(name + "-end"); };
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_LE(r.send->lblStatus->fontMetrics().horizontalAdvance(r.send->lblStatus->text()),
              r.send->lblStatus->width());
    EXPECT_TRUE(r.send->lblStatus->text().contains(QStringLiteral("-end' : completed (26 bytes)")));
    EXPECT_TRUE(r.send->lblStatus->toolTip().contains(QString::fromStdString(name)));
    EXPECT_EQ(r.send->LastStatus(), r.send->lblStatus->toolTip());
}

TEST(SendWindow, EscapeStopsAtTheNextMessageBoundary) {
    TransferRig r;
    r.openPath = r.dir.filePath("many.syx");
    std::vector<std::uint8_t> many;
    for (int i = 0; i < 200; ++i) {
        const auto m = SysexDump(100, static_cast<std::uint8_t>(i));
        many.insert(many.end(), m.begin(), m.end());
    }
    r.WriteFile(r.openPath, Bytes(many));
    // Escape as soon as the send window shows.
    QTimer::singleShot(0, [&] { QTest::keyClick(r.send.get(), Qt::Key_Escape); });
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_EQ(r.send->LastState(), sysex::SendState::Cancelled);
    EXPECT_EQ(r.send->LastStatus(), QString::fromUtf8("Op\u00e9ration Canceled !"));
    const auto sent = r.LongMessages(0);
    EXPECT_LT(sent.size(), 200u);
    for (const auto& m : sent) {
        EXPECT_EQ(m.size(), 100u); // only whole messages went out
    }
}

// SIGTERM, SIGINT or SIGHUP during a send, even in a long pause after a
// message: the send stops at that message boundary with no error, then the
// main window closes as by its Power button, saving the settings, and the
// exit status names the signal.
TEST(SendWindow, AStopSignalEndsTheSendAtABoundaryThenTheProgram) {
    TransferRig r;
    r.openPath = r.dir.filePath("three.syx");
    r.WriteFile(r.openPath, Bytes(Joined({SysexDump(8), SysexDump(8), SysexDump(10)})));
    r.form->SetSendPauseMs(sysex::TsendForm::kMaxPauseMs);
    QFile::remove(r.settingsPath);
    int stop = 0;
    app::SignalStop signalStop([&] { return stop; }, -1);
    signalStop.SetMainWindow(r.form.get());
    // The signal comes once the first message went, in the pause after it.
    QTimer firstSent;
    QObject::connect(&firstSent, &QTimer::timeout, [&] {
        if (r.service.SentCount(0) >= 1) {
            stop = SIGHUP;
        }
    });
    firstSent.start(5);
    QTest::mouseClick(r.form->ImgButSend, Qt::LeftButton);
    EXPECT_EQ(r.send->LastState(), sysex::SendState::Cancelled);
    EXPECT_EQ(r.LongMessages(0).size(), 1u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !r.form->isVisible(); }, 20000));
    EXPECT_TRUE(QFile::exists(r.settingsPath));
    EXPECT_EQ(signalStop.ExitStatus(0), 128 + SIGHUP);
}
