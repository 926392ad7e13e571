// The input callback in its three modes, fed through the simulated service's
// real delivery thread.
#include "midi/midi_in_callback.h"

#include <gtest/gtest.h>

#include <numeric>

#include "core/router_transform.h"
#include "core/sysex_text.h"
#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"
#include "support/sysex_dump.h"

using namespace velmora::midi;
using velmora::SysexHexText;
using velmora::ThruMessage;
using namespace std::chrono_literals;
using velmora::PackShortMessage;
using velmora::ShortMessage;
using velmora::testing::RecordingHandOff;
using velmora::testing::RecordingReporter;
using velmora::testing::SysexDump;

namespace {

constexpr int kSynth = 0, kOther = 1;

struct Rig {
    Rig()
        : service({"Synth", "Other"}, {"Keys"}),
          midi(service, reporter, [this] { return ticks.load(); }), main(midi), record(midi),
          callback(midi, tags, router, main) {
        callback.SetRecordSignal(&record);
        midi.ChooseMidiIn(0);
        midi.StartClock();
    }

    void OpenMonitorWithThru(int thruChannelIndex) {
        midi.ChooseMidiOut(kSynth);
        ASSERT_TRUE(midi.OpenMidiOut());
        tags.mainOutOpen = 1;
        tags.thruOn = 1;
        tags.thruChannel = thruChannelIndex;
        ASSERT_TRUE(midi.OpenMidiIn(callback.AsCallback()));
    }

    void Inject(std::initializer_list<ShortMessage> messages) {
        for (auto m : messages) {
            ASSERT_TRUE(service.InjectShort(0, m));
        }
        ASSERT_TRUE(service.WaitIdle(0, 5s));
    }

    std::vector<ShortMessage> SentShorts(int device) {
        std::vector<ShortMessage> out;
        for (const auto& s : service.Sent(device)) {
            if (!s.isLong) {
                out.push_back(s.message);
            }
        }
        return out;
    }

    std::atomic<std::uint32_t> ticks{1000};
    SimulatedService service;
    RecordingReporter reporter;
    MidiFunctions midi;
    RecordingHandOff main, record;
    InputPathState tags;
    RouterSettings router;
    MidiInCallback callback;
};

} // namespace

TEST(ThruMessage, ChannelChoice) {
    EXPECT_EQ(ThruMessage(PackShortMessage(0x93, 0x3C, 0x40), 10),
              PackShortMessage(0x99, 0x3C, 0x40));
    EXPECT_EQ(ThruMessage(PackShortMessage(0x93, 0x3C, 0x40), 0),
              PackShortMessage(0x93, 0x3C, 0x40));
    EXPECT_EQ(ThruMessage(PackShortMessage(0x93, 0x3C, 0x40), -1),
              PackShortMessage(0x93, 0x3C, 0x40));
    EXPECT_EQ(ThruMessage(PackShortMessage(0xF2, 1, 2), 10), PackShortMessage(0xF2, 1, 2));
    EXPECT_EQ(ThruMessage(0xFE, 16), 0xFEu);
    EXPECT_EQ(SysexHexText(std::vector<std::uint8_t>{0xF0, 0x43, 0x10, 0xF7}), "F0 43 10 F7 ");
}

TEST(MonitorMode, ThruOnChannel10AndTheHandOffs) {
    Rig r;
    r.OpenMonitorWithThru(10);
    const std::uint64_t before = InputClockMicros();
    r.Inject({PackShortMessage(0x93, 0x3C, 0x40), 0xF8, PackShortMessage(0xF2, 1, 2), 0xFE});
    const std::uint64_t after = InputClockMicros();
    EXPECT_EQ(r.SentShorts(kSynth),
              (std::vector<ShortMessage>{PackShortMessage(0x99, 0x3C, 0x40),
                                         PackShortMessage(0xF2, 1, 2), 0xFE}));
    const auto seen = r.main.Seen();
    ASSERT_EQ(seen.size(), 3u); // the clock is neither sent nor shown
    EXPECT_EQ(seen[0].code, '2');
    EXPECT_EQ(seen[0].lastShortMessage, PackShortMessage(0x93, 0x3C, 0x40)); // shown as received
    EXPECT_EQ(seen[2].lastShortMessage, 0xFEu);
    for (const auto& h : seen) { // handed on with the service's time of arrival
        EXPECT_GE(h.micros, before);
        EXPECT_LE(h.micros, after);
    }
}

TEST(MonitorMode, NoThruWhenTheOutputIsClosedOrThruIsOff) {
    Rig r;
    r.OpenMonitorWithThru(0);
    r.tags.thruOn = 0;
    r.Inject({PackShortMessage(0x90, 60, 1)});
    r.tags.thruOn = 1;
    r.tags.mainOutOpen = 0;
    r.Inject({PackShortMessage(0x90, 61, 1)});
    r.tags.mainOutOpen = 1;
    r.Inject({PackShortMessage(0x90, 62, 1)});
    EXPECT_EQ(r.SentShorts(kSynth), std::vector<ShortMessage>{PackShortMessage(0x90, 62, 1)});
    EXPECT_EQ(r.main.Seen().size(), 3u);
}

TEST(MonitorMode, SysexBlocksBecomeHexTextAndBuffersStayQueued) {
    Rig r;
    r.OpenMonitorWithThru(0);
    // Many dumps through 16 buffers: every filled block is handed back.
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(10000)));
    }
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    const auto seen = r.main.Seen();
    ASSERT_EQ(seen.size(), 30u);
    EXPECT_EQ(seen[0].code, '1');
    EXPECT_EQ(seen[0].pendingSysexText.size(), 4096u * 3);
    EXPECT_EQ(seen[1].pendingSysexText.size(), 4096u * 3);
    EXPECT_EQ(seen[2].pendingSysexText.size(), 1808u * 3);
    EXPECT_TRUE(seen[0].pendingSysexText.starts_with("F0 01 02 "));
    EXPECT_TRUE(seen[2].pendingSysexText.ends_with(" F7 "));
    EXPECT_EQ(r.midi.LostInputEvents(), 0u);
    EXPECT_TRUE(r.reporter.Texts().empty());
    EXPECT_TRUE(r.midi.CloseMidiIn());
    EXPECT_EQ(r.main.Seen().size(), 30u); // the empty returns show nothing
}

TEST(RecordMode, CountsBlocksAndBytes) {
    Rig r;
    ASSERT_TRUE(r.midi.OpenMidiIn(r.callback.AsCallback()));
    r.midi.InputMode = kRecord;
    r.Inject({PackShortMessage(0x90, 60, 1)});
    ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(10000)));
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    EXPECT_TRUE(r.main.Seen().empty());
    const auto seen = r.record.Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].recordStatus, "1 blocks received - 4096 Bytes received");
    EXPECT_EQ(seen[2].recordStatus, "3 blocks received - 10000 Bytes received");
    std::lock_guard lock(r.midi.sysex.lock);
    EXPECT_EQ(r.midi.sysex.RecordBlockCount, 3);
    EXPECT_EQ(r.midi.sysex.SysexBuffer, SysexDump(10000));
}

TEST(MultiOutMode, RoutesWithSharedPortsAndDropsActiveSensing) {
    Rig r;
    ASSERT_TRUE(r.midi.OpenMidiIn(r.callback.AsCallback()));
    r.midi.InputMode = kMultiOut;
    // Outputs 1 and 2 share router port 1 (one device), channels 1 and 2;
    // output 3 splits the top of the keyboard an octave up onto port 3.
    ASSERT_TRUE(r.midi.OpenRouterOut(1, kSynth));
    ASSERT_TRUE(r.midi.OpenRouterOut(3, kOther));
    auto& o = r.router.outputs;
    o[0].portNumber = 1;
    o[0].channelIndex = 1;
    o[1].portNumber = 1;
    o[1].channelIndex = 2;
    o[2].portNumber = 3;
    o[2].transposeIndex = 36;
    o[2].splitLowIndex = 60;
    o[3].portNumber = 2; // port 2 is not open: nothing is sent for it
    r.tags.dataLedStamp = 0;
    r.ticks = 1500;
    r.Inject({0xFE, 0xF8, PackShortMessage(0x95, 64, 100), PackShortMessage(0x95, 40, 100)});
    EXPECT_EQ(r.SentShorts(kSynth), (std::vector<ShortMessage>{PackShortMessage(0x90, 64, 100),
                                                               PackShortMessage(0x91, 64, 100),
                                                               PackShortMessage(0x90, 40, 100),
                                                               PackShortMessage(0x91, 40, 100)}));
    EXPECT_EQ(r.SentShorts(kOther), std::vector<ShortMessage>{PackShortMessage(0x95, 76, 100)});
    EXPECT_TRUE(r.main.Seen().empty());
    EXPECT_EQ(r.tags.dataLedStamp.load(), 500);
}

TEST(OtherModes, SysexIsHandedBackUnusedAndMonitoringResumes) {
    Rig r;
    ASSERT_TRUE(r.midi.OpenMidiIn(r.callback.AsCallback()));
    r.midi.InputMode = kMultiOut;
    for (int i = 0; i < 40; ++i) { // more blocks than buffers
        ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(5000)));
    }
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    r.midi.InputActive = false; // as during a send
    ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(100)));
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    EXPECT_TRUE(r.main.Seen().empty());
    r.midi.InputActive = true;
    r.midi.InputMode = kMonitor;
    ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(6)));
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    ASSERT_EQ(r.main.Seen().size(), 1u);
    EXPECT_EQ(r.main.Seen()[0].pendingSysexText, "F0 01 02 03 04 F7 ");
    EXPECT_EQ(r.midi.LostInputEvents(), 0u);
}

TEST(HandBack, FailuresAreReportedAndHandlingGoesOn) {
    Rig r;
    r.OpenMonitorWithThru(0);
    r.service.FailNth(SimOp::UnprepareHeader);
    r.service.FailNth(SimOp::AddBuffer);
    ASSERT_TRUE(r.service.InjectSysex(0, SysexDump(6)));
    ASSERT_TRUE(r.service.WaitIdle(0, 5s));
    EXPECT_EQ(r.reporter.Texts(),
              (std::vector<std::string>{"Error when trying to unprepare Midi in headder!",
                                        "Error when trying to add Midi in headder!"}));
    EXPECT_EQ(r.main.Seen().size(), 1u);
}
