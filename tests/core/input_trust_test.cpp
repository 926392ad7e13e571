// What keeps a running monitor honest with its input: messages cut back out
// of a merged run of bytes, feedback loops told from playing, and the
// devices a start opens.
#include <gtest/gtest.h>

#include <vector>

#include "core/device_choice.h"
#include "core/echo_guard.h"
#include "core/midi_stream.h"

using namespace velmora;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::vector<Bytes> Split(Bytes bytes, std::size_t* dropped = nullptr) {
    std::vector<Bytes> out;
    const std::size_t d = SplitMidiBytes(std::span(bytes), [&](std::span<const std::uint8_t> m) {
        out.emplace_back(m.begin(), m.end());
    });
    if (dropped != nullptr) {
        *dropped = d;
    }
    return out;
}

} // namespace

TEST(SplitMidiBytes, CutsMergedInputBackIntoItsMessages) {
    // Whole messages pass as they are.
    EXPECT_EQ(Split({0x90, 0x3C, 0x64}), (std::vector<Bytes>{{0x90, 0x3C, 0x64}}));
    EXPECT_EQ(Split({0xF0, 0x7E, 0x7F, 0xF7}), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0xF7}}));
    // A clock inside a dump comes out on its own, the dump closes around it.
    EXPECT_EQ(Split({0xF0, 0x01, 0xF8, 0x02, 0xF7}),
              (std::vector<Bytes>{{0xF8}, {0xF0, 0x01, 0x02, 0xF7}}));
    // A note from another source inside a dump ends the dump; the rest of
    // the dump, with no status before it, is dropped as one run.
    std::size_t dropped = 0;
    EXPECT_EQ(Split({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64, 0x03, 0x04, 0xF7}, &dropped),
              (std::vector<Bytes>{{0xF0, 0x01, 0x02}, {0x90, 0x3C, 0x64}}));
    EXPECT_EQ(dropped, 1u);
    // Stray data, a lone F7 and a short message missing its data are dropped.
    EXPECT_EQ(Split({0x12, 0xF7, 0xC0, 0x05, 0x90, 0x3C, 0xB0}, &dropped),
              (std::vector<Bytes>{{0xC0, 0x05}}));
    EXPECT_EQ(dropped, 3u);
    EXPECT_TRUE(Split({}).empty());
}

TEST(EchoGuard, AChainOfEchoesAsksForAProbeThatOnlyALoopReturns) {
    constexpr ShortMessage kNote = PackShortMessage(0x90, 60, 100);
    // A loop: each send comes back 5 ms later, once.
    EchoGuard loop;
    std::int64_t now = 0;
    int passes = 0;
    EchoVerdict verdict = EchoVerdict::Pass;
    while (verdict == EchoVerdict::Pass && passes < 40) {
        loop.NoteSent(kNote, now);
        now += 5;
        verdict = loop.NoteReceived(kNote, now);
        ++passes;
    }
    EXPECT_EQ(verdict, EchoVerdict::Probe);
    EXPECT_LE(passes, 20);
    const std::vector<std::uint8_t> probe(loop.ProbeMessage().begin(), loop.ProbeMessage().end());
    EXPECT_EQ(probe, (std::vector<std::uint8_t>{0xF0, 0x7D, 0x56, 0x4C, 0x4D, 0x00, 0xF7}));
    EXPECT_TRUE(loop.IsProbe(probe));
    EXPECT_FALSE(EchoGuard(1).IsProbe(probe)); // the router's probe is its own
    EXPECT_FALSE(loop.IsProbe(std::vector<std::uint8_t>{0xF0, 0x7D, 0xF7}));

    // A pedal resending its value every 10 ms asks for a probe at most once
    // a second; its probe never comes back, and passing goes on.
    constexpr ShortMessage kPedal = PackShortMessage(0xB0, 64, 0);
    EchoGuard pedal;
    int probes = 0;
    for (std::int64_t t = 0; t < 2000; t += 10) {
        probes += pedal.NoteReceived(kPedal, t) == EchoVerdict::Probe ? 1 : 0;
        pedal.NoteSent(kPedal, t);
    }
    EXPECT_GE(probes, 1);
    EXPECT_LE(probes, 2);
    // Playing slower than the window never even counts as an echo.
    EchoGuard slow;
    for (std::int64_t t = 0; t < 2000; t += 100) {
        EXPECT_EQ(slow.NoteReceived(kNote, t), EchoVerdict::Pass);
        slow.NoteSent(kNote, t);
    }
    EXPECT_EQ(slow.Echoes(), 0);
}

TEST(DeviceChoice, NamesWinNumbersShiftAndAFirstStartAvoidsLoops) {
    const std::vector<std::string> listed{"other:out", "keys:out", "synth:in"};
    // A stored name that is listed wins over the stored number.
    EXPECT_EQ(ChooseStartDevice(listed, 0, "synth:in").index, 2);
    // One that is gone opens nothing and is named.
    const StartDevice gone = ChooseStartDevice(listed, 2, "old synth:in");
    EXPECT_EQ(gone.index, -1);
    EXPECT_EQ(gone.missingName, "old synth:in");
    // Without a name: the number when it is listed, else the first device;
    // a negative number counts as none stored.
    EXPECT_EQ(ChooseStartDevice(listed, 1, "").index, 1);
    EXPECT_EQ(ChooseStartDevice(listed, 7, "").index, 0);
    EXPECT_EQ(ChooseStartDevice(listed, -5, "").index, 0);
    EXPECT_EQ(ChooseStartDevice({}, 0, "").index, -1);

    EXPECT_EQ(DeviceClient("Midi Through:Midi Through Port-0 14:0"), "Midi Through");
    // A first start never passes thru from a device back into itself.
    const std::vector<std::string> through{"Midi Through:Midi Through Port-0 14:0"};
    const FirstStartOutput alone = ChooseFirstStartOutput(through, 0, through);
    EXPECT_FALSE(alone.thru);
    EXPECT_NE(alone.why.find("Midi Through"), std::string::npos);
    const FirstStartOutput other =
        ChooseFirstStartOutput(through, 0, {"Midi Through:Midi Through Port-0 14:0", "synth:in"});
    EXPECT_TRUE(other.thru);
    EXPECT_EQ(other.index, 1);
    EXPECT_EQ(ChooseFirstStartOutput({"keys:out"}, 0, {"synth:in"}).index, 0);
}
