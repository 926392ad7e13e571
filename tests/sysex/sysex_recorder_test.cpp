// A recording on the simulated service: the buffer emptied at the start,
// blocks collected by the input callback, the end-of-transfer rule on an
// injected millisecond clock, and the copy saved to a file.
#include "sysex/sysex_recorder.h"

#include <gtest/gtest.h>

#include "midi/midi_in_callback.h"
#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"
#include "support/sysex_dump.h"
#include "sysex/sysex_buffer_file.h"

using namespace velmora;
using namespace velmora::midi;
using namespace velmora::sysex;
using namespace std::chrono_literals;
using namespace velmora::testing;

namespace {

class RecorderTest : public ::testing::Test {
  protected:
    RecorderTest()
        : service_({"Synth"}, {"Keys"}),
          midi_(service_, reporter_, [this] { return ticks_.load(); }), mainWindow_(midi_),
          recordWindow_(midi_), callback_(midi_, tags_, router_, mainWindow_) {
        callback_.SetRecordSignal(&recordWindow_);
        midi_.ChooseMidiIn(0);
        midi_.StartClock();
    }

    void SetUp() override { ASSERT_TRUE(midi_.OpenMidiIn(callback_.AsCallback())); }

    // Plays a dump and lets the window note each block it was told about.
    void Play(SysexRecorder& recorder, const Bytes& dump) {
        const std::size_t before = recordWindow_.Seen().size();
        ASSERT_TRUE(service_.InjectSysex(0, dump));
        ASSERT_TRUE(service_.WaitIdle(0, 5s));
        for (std::size_t i = before; i < recordWindow_.Seen().size(); ++i) {
            recorder.NoteBlock();
        }
    }

    std::atomic<std::uint32_t> ticks_{5000};
    SimulatedService service_;
    RecordingReporter reporter_;
    MidiFunctions midi_;
    RecordingHandOff mainWindow_, recordWindow_;
    InputPathState tags_;
    RouterSettings router_;
    MidiInCallback callback_;
};

} // namespace

TEST_F(RecorderTest, ARecordingStartsEmptyAndCollectsEveryBlock) {
    {
        std::lock_guard lock(midi_.sysex.lock);
        midi_.sysex.SysexBuffer = {1, 2, 3}; // a file loaded for sending
        midi_.sysex.RecordBlockCount = 7;
    }
    SysexRecorder recorder(midi_);
    recorder.Begin();
    EXPECT_EQ(midi_.InputMode.load(), kRecord);
    EXPECT_EQ(recorder.Length(), 0u);
    EXPECT_EQ(recorder.BlockCount(), 0);
    EXPECT_EQ(recorder.StatusText(), "");

    Play(recorder, SysexDump(10000));
    Play(recorder, SysexDump(20));
    EXPECT_EQ(recorder.BlockCount(), 4);
    EXPECT_EQ(recorder.StatusText(), "4 blocks received - 10020 Bytes received");
    Bytes expected = SysexDump(10000);
    const Bytes second = SysexDump(20);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(recorder.Bytes(), expected);
    EXPECT_TRUE(mainWindow_.Seen().empty()); // nothing went to the monitor

    recorder.End();
    EXPECT_EQ(midi_.InputMode.load(), kMonitor);
    EXPECT_EQ(CopySysexBuffer(midi_.sysex), expected); // kept after the recording

    const std::string path = ::testing::TempDir() + "velmora-recorder-test.syx";
    ASSERT_TRUE(SaveSysexBuffer(midi_.sysex, path));
    EXPECT_EQ(LoadSysexFile(path).bytes, expected);
    std::remove(path.c_str());
}

TEST_F(RecorderTest, TheTransferEndsMoreThanTheIdleTimeAfterTheLastBlock) {
    SysexRecorder recorder(midi_);
    recorder.Begin();
    ticks_ += 100000;
    EXPECT_FALSE(recorder.TransferEnded()); // nothing came yet: never ended

    Play(recorder, SysexDump(100));
    ticks_ += 2000;
    EXPECT_FALSE(recorder.TransferEnded()); // 2000 ms is not more than 2000 ms
    ticks_ += 1;
    EXPECT_TRUE(recorder.TransferEnded());
    Play(recorder, SysexDump(100));
    EXPECT_TRUE(recorder.TransferEnded()); // stays ended until the next watch

    recorder.ResetWatch();
    EXPECT_FALSE(recorder.TransferEnded());
}

TEST_F(RecorderTest, BytesNotYetNotedKeepTheTransferGoing) {
    SysexRecorder recorder(midi_, 500ms);
    recorder.Begin();
    Play(recorder, SysexDump(100));
    // A block the window has not been told about yet.
    ASSERT_TRUE(service_.InjectSysex(0, SysexDump(50)));
    ASSERT_TRUE(service_.WaitIdle(0, 5s));
    ticks_ += 10000;
    EXPECT_FALSE(recorder.TransferEnded());
    recorder.NoteBlock();
    ticks_ += 501;
    EXPECT_TRUE(recorder.TransferEnded());
}

TEST_F(RecorderTest, AClockThatTakesANewBaseStillEndsTheTransfer) {
    // The millisecond counter wraps long after the start: elapsed time then
    // starts again from 0, below the time the last block was noted.
    ticks_ = 0x7FFFFFF0u;
    midi_.StartClock();
    SysexRecorder recorder(midi_);
    recorder.Begin();
    ticks_ = 0xF0000000u;
    Play(recorder, SysexDump(10));
    ticks_ = 0x10u;
    EXPECT_FALSE(recorder.TransferEnded());
    ticks_ += 2001;
    EXPECT_TRUE(recorder.TransferEnded());
}
