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

namespace {

// Plays `message` into `guard` as the input path does: received, checked,
// passed on. Counts what the guard adds.
struct GuardRun {
    EchoGuard& guard;
    WayBack wayBack;
    int probes = 0;
    int asked = 0;

    LoopAction Pass(ShortMessage message, std::int64_t now) {
        LoopAction action = LoopAction::None;
        if (guard.NoteReceived(message, now) == EchoVerdict::AskWayBack) {
            ++asked;
            action = guard.Decide(wayBack, now);
        }
        probes += action == LoopAction::Probe ? 1 : 0;
        guard.NoteSent(message, now);
        return action;
    }
};

// A loop one pass of `passMs` long, with a note going round: the passes
// until the path is stopped, that is until the probe is back (a pass after
// it went, when `probeReturns`).
int PassesToBreak(WayBack wayBack, std::int64_t passMs, bool probeReturns) {
    constexpr ShortMessage kNote = PackShortMessage(0x90, 60, 100);
    EchoGuard guard;
    GuardRun run{guard, wayBack};
    std::int64_t now = 0;
    guard.NoteSent(kNote, now);
    for (int pass = 1; pass <= 200; ++pass) {
        now += passMs;
        if (run.Pass(kNote, now) == LoopAction::Probe && probeReturns) {
            return pass + 1;
        }
    }
    return 1000;
}

} // namespace

TEST(EchoGuard, ALoopWithAWayBackIsBrokenWithinTwentyPasses) {
    // Quiet and busy machines: a pass of 2 ms, 43 ms (JACK, 1024 frames),
    // 300 ms (a late delivery thread).
    for (const std::int64_t passMs : {2, 43, 300}) {
        EXPECT_LE(PassesToBreak(WayBack::Possible, passMs, true), 20) << passMs;
        EXPECT_LE(PassesToBreak(WayBack::Unknown, std::min<std::int64_t>(passMs, 20), true), 20)
            << passMs;
    }
    // No way back: never probed. A loop no way can show (two hardware
    // devices' echoes slower than a loop's passes) is not suspected.
    EXPECT_EQ(PassesToBreak(WayBack::None, 5, true), 1000);
    EXPECT_EQ(PassesToBreak(WayBack::Unknown, 60, true), 1000);

    EchoGuard guard;
    const std::vector<std::uint8_t> probe(guard.ProbeMessage().begin(), guard.ProbeMessage().end());
    EXPECT_EQ(probe, (std::vector<std::uint8_t>{0xF0, 0x7D, 0x56, 0x4C, 0x4D, 0x00, 0xF7}));
    EXPECT_TRUE(guard.IsProbe(probe));
    EXPECT_FALSE(EchoGuard(1).IsProbe(probe)); // the router's probe is its own
    EXPECT_FALSE(guard.IsProbe(std::vector<std::uint8_t>{0xF0, 0x7D, 0xF7}));
}

// Ten minutes of each repeating pattern from 60 to 300 BPM, on the guard's
// own clock: with no way back not one byte is added, and where the service
// can't tell, one probe per chain at most and none during the back-off.
TEST(EchoGuard, RepeatingPatternsAddNothingWithoutAWayBack) {
    constexpr std::int64_t kTenMinutesMs = 10 * 60 * 1000;
    const ShortMessage hatOn = PackShortMessage(0x99, 0x2A, 0x64);
    const ShortMessage hatOff = PackShortMessage(0x89, 0x2A, 0x00);
    const ShortMessage kick = PackShortMessage(0x99, 0x24, 0x7F);
    const ShortMessage kickOff = PackShortMessage(0x89, 0x24, 0x00);
    const ShortMessage pedal = PackShortMessage(0xB0, 0x40, 0x00);
    for (int bpm = 60; bpm <= 300; bpm += 30) {
        for (const WayBack wayBack : {WayBack::None, WayBack::Unknown}) {
            EchoGuard guard;
            GuardRun run{guard, wayBack};
            const std::int64_t sixteenth = 60000 / bpm / 4;
            std::int64_t step = 0;
            for (std::int64_t t = 0; t < kTenMinutesMs; t += sixteenth, ++step) {
                // Two bars of hi-hat sixteenths with a kick on the beats,
                // then a bar's rest, over and over.
                if (step % 48 >= 32) {
                    continue;
                }
                run.Pass(hatOn, t);
                run.Pass(hatOff, t + sixteenth / 2);
                if (step % 4 == 0) {
                    run.Pass(kick, t + 1);
                    run.Pass(kickOff, t + 2);
                    run.Pass(pedal, t + 3);
                }
            }
            if (wayBack == WayBack::None) {
                EXPECT_EQ(run.probes, 0) << bpm;
            } else {
                EXPECT_LE(run.probes, 2) << bpm; // 5 minutes' back-off, then 10
            }
        }
    }
    // The hi-hat that was measured: on and off every 25 ms, each message
    // back 50 ms later, as close as a loop's passes. One unbroken chain: one
    // probe at most where the service can't tell, none where it shows no way.
    for (const WayBack wayBack : {WayBack::None, WayBack::Unknown}) {
        EchoGuard guard;
        GuardRun run{guard, wayBack};
        for (std::int64_t t = 0; t < kTenMinutesMs; t += 50) {
            run.Pass(hatOn, t);
            run.Pass(hatOff, t + 25);
        }
        EXPECT_GT(run.asked, 0);
        EXPECT_EQ(run.probes, wayBack == WayBack::None ? 0 : 1);
    }
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
