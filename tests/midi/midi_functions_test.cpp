// Device lists, ports and input buffers on the simulated service, with every
// failure the operations report.
#include "midi/midi_functions.h"

#include <gtest/gtest.h>

#include <atomic>

#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"

using namespace velmora::midi;
using velmora::testing::RecordingReporter;
using Texts = std::vector<std::string>;

namespace {

struct Fixture {
    explicit Fixture(std::vector<std::string> outs = {"Out A", "Out B", "Out C"},
                     std::vector<std::string> ins = {"In A", "In B"})
        : service(std::move(outs), std::move(ins)), midi(service, reporter) {
        midi.ChooseMidiIn(0);
    }

    // A callback that counts what it gets and hands nothing back.
    InputCallback Counting() {
        return [this](const InputEvent& e) {
            if (e.code == InputMessage::LongData) {
                (e.header->dwBytesRecorded == 0 ? emptyBlocks : fullBlocks)++;
            } else {
                ++shorts;
            }
        };
    }

    SimulatedService service;
    RecordingReporter reporter;
    MidiFunctions midi;
    std::atomic<int> emptyBlocks{0}, fullBlocks{0}, shorts{0};
};

} // namespace

TEST(DeviceLists, NamesInDeviceNumberOrderAndTheirFailures) {
    Fixture f;
    std::vector<std::string> outs{"kept"};
    EXPECT_TRUE(f.midi.ListMidiOutDevices(outs));
    EXPECT_EQ(outs, (Texts{"kept", "Out A", "Out B", "Out C"})); // not emptied first
    std::vector<std::string> ins;
    EXPECT_TRUE(f.midi.ListMidiInDevices(ins));
    EXPECT_EQ(ins, (Texts{"In A", "In B"}));
    EXPECT_TRUE(f.reporter.Texts().empty());

    Fixture four({"0", "1", "2", "3"}, {"i"});
    four.service.FailEvery(SimOp::OutCaps, 2);
    std::vector<std::string> partial;
    EXPECT_TRUE(four.midi.ListMidiOutDevices(partial));
    EXPECT_EQ(partial, (Texts{"0", "1"}));
    EXPECT_EQ(four.reporter.Texts(), Texts{"Error when reading Midi out capabilities!"});
    four.service.FailEvery(SimOp::InCaps, 0);
    std::vector<std::string> none;
    EXPECT_TRUE(four.midi.ListMidiInDevices(none));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(four.reporter.Texts().back(), "Error when reading Midi in capabilities!");

    Fixture empty({}, {});
    std::vector<std::string> list;
    EXPECT_FALSE(empty.midi.ListMidiOutDevices(list));
    EXPECT_FALSE(empty.midi.ListMidiInDevices(list));
    EXPECT_EQ(empty.reporter.Texts(),
              (Texts{"No Midi out device found, this application can't be start!",
                     "No Midi in device found, this application can't be start!"}));
}

TEST(Outputs, OpenCloseAndTheirFailures) {
    Fixture f;
    f.midi.ChooseMidiOut(1);
    ASSERT_TRUE(f.midi.OpenMidiOut());
    EXPECT_EQ(f.service.OutOpenNow(1), 1);
    EXPECT_TRUE(f.midi.MidiOutHandle().SendShort(0x643C90));
    EXPECT_TRUE(f.midi.CloseMidiOut());
    EXPECT_EQ(f.service.OutOpenNow(1), 0);
    EXPECT_FALSE(f.midi.MidiOutHandle().SendShort(0x643C90)); // nothing open

    f.service.FailEvery(SimOp::OpenOut, 2);
    f.midi.ChooseMidiOut(2);
    EXPECT_FALSE(f.midi.OpenMidiOut());
    EXPECT_EQ(f.reporter.Texts(),
              Texts{"Error when trying to open Midi out device!\nThis device is probably open "
                    "by another application and can't be shared."});

    f.reporter.Clear();
    f.midi.ChooseMidiOut(0);
    ASSERT_TRUE(f.midi.OpenMidiOut());
    f.service.FailNth(SimOp::OutClose);
    EXPECT_FALSE(f.midi.CloseMidiOut());
    EXPECT_EQ(f.reporter.Texts(), Texts{"Error when trying to close Midi out device!"});
    EXPECT_TRUE(f.midi.MidiOutHandle().IsOpen());
    EXPECT_TRUE(f.midi.CloseMidiOut());

    // Router ports: a failed open leaves nothing to close through.
    EXPECT_TRUE(f.midi.OpenRouterOut(1, 0));
    EXPECT_FALSE(f.midi.OpenRouterOut(2, 2));
    EXPECT_TRUE(f.midi.CloseRouterOut(2));
    EXPECT_TRUE(f.midi.CloseRouterOut(1));
    EXPECT_FALSE(f.midi.OpenRouterOut(5, 0));
    EXPECT_EQ(f.service.OutOpenNow(0), 0);
}

TEST(Input, OpenQueuesSixteenBuffersAndCloseReturnsThemEmpty) {
    Fixture f;
    ASSERT_TRUE(f.midi.OpenMidiIn(f.Counting()));
    EXPECT_TRUE(f.midi.InputActive.load());
    EXPECT_EQ(f.midi.InputBufferCount(), 16u);
    EXPECT_EQ(f.service.Calls(SimOp::AddBuffer), 16u);
    EXPECT_TRUE(f.midi.CloseMidiIn());
    EXPECT_EQ(f.emptyBlocks.load(), 16);
    EXPECT_EQ(f.service.Calls(SimOp::UnprepareHeader), 16u);
    EXPECT_EQ(f.midi.InputBufferCount(), 0u);
    EXPECT_FALSE(f.midi.InputActive.load());
    EXPECT_EQ(f.service.InOpenNow(0), 0);
    EXPECT_TRUE(f.reporter.Texts().empty());
}

TEST(Input, HeldDeviceOpensNothing) {
    Fixture f;
    f.service.FailEvery(SimOp::OpenIn, 0);
    EXPECT_FALSE(f.midi.OpenMidiIn(f.Counting()));
    EXPECT_EQ(f.reporter.Texts(),
              Texts{"Error when trying to open Midi in device!\nThis device is probably open by "
                    "another application and can't be shared."});
    EXPECT_EQ(f.service.Calls(SimOp::PrepareHeader), 0u);
    EXPECT_FALSE(f.midi.InputActive.load());
}

TEST(Input, BufferFailuresAreReportedAndTheInputStillOpens) {
    Fixture f;
    f.service.FailNth(SimOp::PrepareHeader, 5);
    f.service.FailNth(SimOp::AddBuffer, 3);
    ASSERT_TRUE(f.midi.OpenMidiIn(f.Counting()));
    EXPECT_EQ(f.midi.InputBufferCount(), 4u); // prepared before the failure
    EXPECT_EQ(f.service.Calls(SimOp::AddBuffer), 3u);
    EXPECT_EQ(f.reporter.Texts(), (Texts{"Error when trying to prepare Midi in headder!",
                                         "Error when trying to add Midi in headder!"}));
    f.reporter.Clear();
    f.service.FailNth(SimOp::UnprepareHeader, 1);
    EXPECT_TRUE(f.midi.CloseMidiIn());
    EXPECT_EQ(f.emptyBlocks.load(), 2); // only the two that were queued come back
    EXPECT_EQ(f.reporter.Texts(), Texts{"Error when trying to unprepare Midi in headder!"});
    EXPECT_EQ(f.midi.InputBufferCount(), 0u);
}

TEST(Input, FailedCloseKeepsInputActiveAndALaterCloseWorks) {
    Fixture f;
    ASSERT_TRUE(f.midi.OpenMidiIn(f.Counting()));
    f.service.FailNth(SimOp::InClose);
    EXPECT_FALSE(f.midi.CloseMidiIn());
    EXPECT_EQ(f.reporter.Texts(), Texts{"Error when trying to close Midi in device!"});
    EXPECT_TRUE(f.midi.InputActive.load());
    EXPECT_EQ(f.midi.InputBufferCount(), 0u); // already released
    EXPECT_TRUE(f.midi.CloseMidiIn());
    EXPECT_FALSE(f.midi.InputActive.load());
}
