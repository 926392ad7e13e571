// The block-by-block send on the simulated service: what reaches the device,
// the status texts, failures, cancelling and pauses, and the input being
// shut out meanwhile.
#include "sysex/sysex_sender.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "midi/midi_in_callback.h"
#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"
#include "support/sysex_dump.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/transfer_texts.h"

using namespace velmora;
using namespace velmora::midi;
using namespace velmora::sysex;
using namespace std::chrono_literals;
using namespace velmora::testing;

namespace {

class SenderTest : public ::testing::Test {
  protected:
    SenderTest() : service_({"Synth"}, {"Keys"}), midi_(service_, reporter_) {}

    void SetUp() override {
        midi_.ChooseMidiOut(0);
        midi_.ChooseMidiIn(0);
        ASSERT_TRUE(midi_.OpenMidiOut());
    }

    // Steps until the send ends, collecting every status text shown.
    std::vector<std::string> Run(SysexSender& sender) {
        std::vector<std::string> shown{sender.StatusText()};
        for (int guard = 0; guard < 100000 && !sender.Finished(); ++guard) {
            sender.Step();
            if (shown.back() != sender.StatusText()) {
                shown.push_back(sender.StatusText());
            }
        }
        EXPECT_TRUE(sender.Finished());
        return shown;
    }

    std::vector<Bytes> SentLong() const {
        std::vector<Bytes> sent;
        for (const SentMessage& m : service_.Sent(0)) {
            EXPECT_TRUE(m.isLong);
            sent.push_back(m.bytes);
        }
        return sent;
    }

    SimulatedService service_;
    RecordingReporter reporter_;
    MidiFunctions midi_;
};

} // namespace

TEST_F(SenderTest, WholeMessageOutputsNeverCallAnUnsentByteSent) {
    SimulatedService whole({"Port"}, {});
    whole.SetWholeMessagesOnly(true);
    MidiFunctions midi(whole, reporter_);
    ASSERT_TRUE(midi.ChooseMidiOut(0) && midi.OpenMidiOut());
    Bytes cut = SysexDump(30, 9);
    cut.pop_back(); // the file ends without its F7
    const Bytes file =
        Joined({{0x01, 0x02}, SysexDump(20), {0x42, 0xF7}, SysexDump(10000, 5), cut});
    SysexSender sender(midi.MidiOutHandle(), file, "Port");
    Run(sender);
    EXPECT_EQ(sender.State(), SendState::Incomplete);
    EXPECT_EQ(sender.BytesNotSent(), 2u + 2u + cut.size());
    EXPECT_EQ(sender.StatusText(), "Sending Sysex on 'Port' : 10020 bytes sent, 33 not sent");
    std::vector<Bytes> sent;
    for (const SentMessage& m : whole.Sent(0)) {
        sent.push_back(m.bytes);
    }
    EXPECT_EQ(sent, (std::vector<Bytes>{SysexDump(20), SysexDump(10000, 5)}));
}

TEST_F(SenderTest, EveryBlockReachesTheDeviceInOrderByteIdentical) {
    const Bytes file =
        Joined({{0x01, 0x02}, SysexDump(20), SysexDump(10000, 5), SysexDump(30, 9), {0x42}});
    SysexSender sender(midi_.MidiOutHandle(), file, "Synth");
    const std::vector<std::string> shown = Run(sender);

    EXPECT_EQ(sender.State(), SendState::Completed);
    const std::vector<Bytes> sent = SentLong();
    ASSERT_EQ(sent.size(), sender.Plan().blocks.size());
    ASSERT_EQ(sent.size(), 5u); // 22, then 4096 + 4096 + 1808, then 30
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const SysexBlock& b = sender.Plan().blocks[i];
        EXPECT_EQ(sent[i], Bytes(file.begin() + b.offset, file.begin() + b.offset + b.length));
    }
    EXPECT_EQ(sent[0].size(), 22u);
    EXPECT_EQ(sent[3].size(), 1808u);
    EXPECT_EQ(sender.BytesHandedOver(), file.size() - 1); // the trailing 42 is not sent
    EXPECT_EQ(sender.GaugeMaximum(), file.size());

    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Sending Sysex on 'Synth'...",
                         "Sending Sysex on 'Synth' : 1 blocks (22 bytes)",
                         "Sending Sysex on 'Synth' : 2 blocks (4118 bytes)",
                         "Sending Sysex on 'Synth' : 3 blocks (8214 bytes)",
                         "Sending Sysex on 'Synth' : 4 blocks (10022 bytes)",
                         "Sending Sysex on 'Synth' : 5 blocks (10052 bytes)",
                         "Sending Sysex on 'Synth' : completed (10052 bytes)",
                     }));
}

TEST_F(SenderTest, AFileWithNoSysexMessageFailsAtOnce) {
    for (const Bytes& file : {Bytes{}, Bytes{0x11, 0xF7, 0x22}}) {
        SysexSender sender(midi_.MidiOutHandle(), file, "Synth");
        EXPECT_EQ(sender.State(), SendState::Failed); // never "completed (0 bytes)"
        EXPECT_EQ(sender.Step(), SendState::Failed);
        EXPECT_EQ(sender.StatusText(), kNoSysexInFile);
    }
    EXPECT_TRUE(service_.Sent(0).empty());
}

TEST_F(SenderTest, ABlockTheOutputRefusesFailsTheSend) {
    service_.FailNth(SimOp::OutSendLong, 3);
    const Bytes file = Joined({SysexDump(20), SysexDump(10000)});
    SysexSender sender(midi_.MidiOutHandle(), file, "Synth");
    Run(sender);
    EXPECT_EQ(sender.State(), SendState::Failed);
    EXPECT_EQ(sender.StatusText(), kSendError);
    // The blocks before it went; nothing after it.
    EXPECT_EQ(SentLong(), (std::vector<Bytes>{SysexDump(20),
                                              Bytes(file.begin() + 20, file.begin() + 20 + 4096)}));
    EXPECT_EQ(sender.BytesHandedOver(), 20u + 4096u);
    EXPECT_EQ(sender.Blocks(), 3);
    EXPECT_EQ(sender.Step(), SendState::Failed); // ended for good
    EXPECT_EQ(service_.SentCount(0), 2u);
}

// A device that leaves halfway: the send fails at the next block, knowing
// what went before, also when the port would still take the blocks; and one
// that leaves after the last block leaves the end unsure: not completed.
TEST_F(SenderTest, ADeviceThatLeavesFailsTheSendWithWhatWentBefore) {
    const Bytes file = Joined({SysexDump(20), SysexDump(30), SysexDump(40)});
    SysexSender sender(midi_.MidiOutHandle(), file, "Synth");
    sender.Step();
    sender.Step();
    service_.SetPresent(true, 0, false);
    Run(sender);
    EXPECT_EQ(sender.State(), SendState::Failed);
    EXPECT_TRUE(sender.DeviceGone());
    EXPECT_EQ(sender.BytesHandedOver(), 50u);

    service_.SetPresent(true, 0, true); // back: a port opened now takes it
    ASSERT_TRUE(midi_.CloseMidiOut());
    ASSERT_TRUE(midi_.OpenMidiOut());
    SysexSender last(midi_.MidiOutHandle(), SysexDump(20), "Synth");
    last.Step();
    service_.SetPresent(true, 0, false);
    Run(last);
    EXPECT_EQ(last.State(), SendState::Failed);
    EXPECT_TRUE(last.DeviceGone());
    EXPECT_EQ(last.BytesHandedOver(), 20u);
}

TEST_F(SenderTest, AClosedOutputFailsTheFirstBlock) {
    ASSERT_TRUE(midi_.CloseMidiOut());
    SysexSender sender(midi_.MidiOutHandle(), SysexDump(10), "Synth");
    EXPECT_EQ(sender.Step(), SendState::Failed);
    EXPECT_EQ(sender.BytesHandedOver(), 0u);
}

TEST_F(SenderTest, CancelStopsAtTheNextMessageBoundary) {
    const Bytes file = Joined({SysexDump(10000, 1), SysexDump(10000, 2), SysexDump(10000, 3)});
    SysexSender sender(midi_.MidiOutHandle(), file, "Synth");
    sender.Step(); // the first block of the first message
    EXPECT_FALSE(sender.AtMessageBoundary());
    sender.RequestCancel();
    Run(sender);
    EXPECT_EQ(sender.State(), SendState::Cancelled);
    EXPECT_EQ(sender.StatusText(), "Op\xE9ration Canceled !");
    // The message being sent went out whole, and nothing after it.
    Bytes sent;
    for (const Bytes& block : SentLong()) {
        sent.insert(sent.end(), block.begin(), block.end());
    }
    EXPECT_EQ(sent, SysexDump(10000, 1));
    EXPECT_EQ(sender.BytesHandedOver(), 10000u);
}

TEST_F(SenderTest, ACancelDuringTheLastMessageCountsOneAfterItDoesNot) {
    {
        SysexSender sender(midi_.MidiOutHandle(), SysexDump(5000), "Synth");
        sender.Step();
        sender.RequestCancel();
        Run(sender);
        EXPECT_EQ(sender.State(), SendState::Cancelled);
        EXPECT_EQ(sender.BytesHandedOver(), 5000u);
    }
    {
        SysexSender sender(midi_.MidiOutHandle(), SysexDump(5000), "Synth");
        sender.Step();
        sender.Step(); // the last block has gone
        sender.RequestCancel();
        EXPECT_EQ(sender.Step(), SendState::Completed);
    }
}

TEST_F(SenderTest, APauseFollowsEachMessageAndACancelCutsItShort) {
    SysexSender sender(midi_.MidiOutHandle(), Joined({SysexDump(10), SysexDump(12)}), "Synth",
                       {std::chrono::hours(1)});
    EXPECT_EQ(sender.Step(), SendState::Sending);
    EXPECT_EQ(service_.SentCount(0), 1u);
    EXPECT_GT(sender.NextStepAt(), SysexSender::Clock::now() + 30min);
    // During the pause a step sends nothing.
    EXPECT_EQ(sender.Step(), SendState::Sending);
    EXPECT_EQ(service_.SentCount(0), 1u);
    sender.RequestCancel();
    EXPECT_LE(sender.NextStepAt(), SysexSender::Clock::now());
    EXPECT_EQ(sender.Step(), SendState::Cancelled);
    EXPECT_EQ(service_.SentCount(0), 1u);
}

TEST_F(SenderTest, TheInputIsShutOutDuringASendAndFollowsThePortAfter) {
    RecordingHandOff mainWindow(midi_);
    InputPathState tags;
    RouterSettings router;
    MidiInCallback callback(midi_, tags, router, mainWindow);
    ASSERT_TRUE(midi_.OpenMidiIn(callback.AsCallback()));
    ASSERT_TRUE(midi_.InputActive.load());
    {
        InputShutOut shutOut(midi_);
        EXPECT_FALSE(midi_.InputActive.load());
        SysexSender sender(midi_.MidiOutHandle(), SysexDump(10), "Synth");
        ASSERT_TRUE(service_.InjectSysex(0, SysexDump(8)));
        ASSERT_TRUE(service_.WaitIdle(0, 5s));
        Run(sender);
        EXPECT_TRUE(mainWindow.Seen().empty()); // what arrived meanwhile is not shown
    }
    EXPECT_TRUE(midi_.InputActive.load());
    ASSERT_TRUE(service_.InjectSysex(0, SysexDump(8)));
    ASSERT_TRUE(mainWindow.WaitCount(1));
    EXPECT_EQ(mainWindow.Seen().at(0).pendingSysexText, "F0 01 02 03 04 05 06 F7 ");

    ASSERT_TRUE(midi_.CloseMidiIn());
    { InputShutOut shutOut(midi_); }
    EXPECT_FALSE(midi_.InputActive.load()); // the input is closed: it stays off
}

TEST_F(SenderTest, LoadingAFileReplacesSysexBufferOnlyWhenItWorks) {
    {
        std::lock_guard lock(midi_.sysex.lock);
        midi_.sysex.SysexBuffer = {1, 2, 3};
    }
    EXPECT_EQ(LoadSysexBuffer(midi_.sysex, "/nonexistent/velmora.syx").error, ENOENT);
    EXPECT_EQ(CopySysexBuffer(midi_.sysex), (Bytes{1, 2, 3}));

    const std::string path = ::testing::TempDir() + "velmora-sender-test.syx";
    ASSERT_TRUE(SaveSysexFile(path, SysexDump(300)));
    ASSERT_TRUE(LoadSysexBuffer(midi_.sysex, path));
    EXPECT_EQ(CopySysexBuffer(midi_.sysex), SysexDump(300));
    std::remove(path.c_str());
}
