// The stream checker on scripted streams: each fault found once, and a long
// clean performance with nothing to say.
#include "core/midi_lint.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<LintKind> Kinds(const std::vector<LintWarning>& w) {
    std::vector<LintKind> kinds;
    for (const auto& x : w) {
        kinds.push_back(x.kind);
    }
    return kinds;
}

} // namespace

TEST(MidiLint, FindsStuckNotesUnendedSysexAndDataEntryWithoutAParameter) {
    MidiLint lint;
    std::vector<LintWarning> w;
    lint.Feed(0, Bytes{0x90, 60, 100}, w);
    lint.Feed(1000, Bytes{0x91, 64, 100}, w);
    lint.Feed(2000, Bytes{0x91, 64, 0}, w);
    // A clock running on does not count as playing.
    for (std::uint64_t t = 0; t < 3'000'000; t += 20'833) {
        lint.Feed(t, Bytes{0xF8}, w);
    }
    lint.Tick(1'900'000, w);
    EXPECT_TRUE(w.empty());
    lint.Tick(2'100'000, w);
    lint.Tick(2'200'000, w); // told once
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], (LintWarning{LintKind::StuckNotes,
                                 "1 note still on after the input went quiet: 60 on channel 1"}));

    // Data entry without a parameter, once per channel until one is chosen.
    w.clear();
    lint.Feed(3'000'000, Bytes{0xB2, 6, 10}, w);
    lint.Feed(3'000'001, Bytes{0xB2, 6, 11}, w);
    lint.Feed(3'000'002, Bytes{0xB3, 101, 0}, w);
    lint.Feed(3'000'003, Bytes{0xB3, 100, 0}, w);
    lint.Feed(3'000'004, Bytes{0xB3, 6, 2}, w); // pitch bend range: fine
    lint.Feed(3'000'005, Bytes{0xB3, 101, 127}, w);
    lint.Feed(3'000'006, Bytes{0xB3, 100, 127}, w); // the null parameter
    lint.Feed(3'000'007, Bytes{0xB3, 38, 0}, w);
    EXPECT_EQ(w, (std::vector<LintWarning>{
                     {LintKind::DataEntryWithoutParameter,
                      "data entry (controller 6) on channel 3 without an RPN or NRPN selected"},
                     {LintKind::DataEntryWithoutParameter,
                      "data entry (controller 38) on channel 4 without an RPN or NRPN selected"}}));

    // Sysex: cut by a status byte, never ended, ended in a later block.
    w.clear();
    lint.Feed(4'000'000, Bytes{0xF0, 0x7D, 0x01, 0x02}, w);
    lint.Feed(4'000'001, Bytes{0x03, 0x04, 0xF7}, w); // the rest of it
    lint.Feed(4'000'002, Bytes{0xF0, 0x7D, 0x01}, w);
    lint.Feed(4'000'003, Bytes{0x80, 60, 0}, w);
    lint.Feed(4'000'004, Bytes{0xF0, 0x7D}, w);
    lint.Tick(7'000'000, w);
    EXPECT_EQ(w,
              (std::vector<LintWarning>{
                  {LintKind::SysexCut,
                   "a sysex message was cut after 3 bytes by a status byte (80) before its F7"},
                  {LintKind::StuckNotes, "the notes left on were released", true},
                  {LintKind::SysexNeverEnded, "a sysex message of 2 bytes never ended (no F7)"}}));

    // Closing with a note on.
    w.clear();
    lint.Feed(8'000'000, Bytes{0x9F, 1, 1}, w);
    lint.Close(w);
    EXPECT_EQ(Kinds(w), (std::vector<LintKind>{LintKind::StuckNotes}));
}

TEST(MidiLint, FindsAWanderingClockAndSensingThatStops) {
    MidiLint lint;
    std::vector<LintWarning> w;
    std::uint64_t t = 0;
    for (int i = 0; i < 100; ++i, t += 20'000) {
        lint.Feed(t, Bytes{0xF8}, w);
    }
    EXPECT_TRUE(w.empty());
    lint.Feed(t + 5'000, Bytes{0xF8}, w); // 25 ms instead of 20
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].text, "a clock interval of 25.00 ms is 25% off the mean of 20.00 ms");

    w.clear();
    lint.Feed(10'000'000, Bytes{0xFE}, w);
    lint.Feed(10'250'000, Bytes{0xFE}, w);
    lint.Tick(10'500'000, w);
    EXPECT_TRUE(w.empty());
    lint.Tick(10'600'000, w);
    lint.Tick(10'700'000, w);
    EXPECT_EQ(Kinds(w), (std::vector<LintKind>{LintKind::ActiveSensingStopped}));
}

// A lasting fault is told over when it ends: stuck notes once all are
// released, a wandering clock after a window of steady clocks, stopped
// sensing when it comes back. A one-off fault has no end.
TEST(MidiLint, LastingFaultsAreToldOverWhenTheyEnd) {
    LintSettings settings;
    settings.clockWindow = 4;
    MidiLint lint(settings);
    std::vector<LintWarning> w;
    lint.Feed(0, Bytes{0x90, 60, 100}, w);
    lint.Feed(1, Bytes{0x90, 62, 100}, w);
    lint.Tick(3'000'000, w);
    lint.Feed(3'000'001, Bytes{0x80, 60, 0}, w); // one of two: still stuck
    ASSERT_EQ(Kinds(w), (std::vector<LintKind>{LintKind::StuckNotes}));
    lint.Feed(3'000'002, Bytes{0x90, 62, 0}, w);
    EXPECT_EQ(w.back(),
              (LintWarning{LintKind::StuckNotes, "the notes left on were released", true}));

    w.clear();
    std::uint64_t t = 4'000'000;
    for (int i = 0; i < 6; ++i, t += 20'000) {
        lint.Feed(t, Bytes{0xF8}, w);
    }
    lint.Feed(t += 5'000, Bytes{0xF8}, w); // 25 ms instead of 20
    ASSERT_EQ(Kinds(w), (std::vector<LintKind>{LintKind::ClockWanders}));
    for (int i = 0; i < 4; ++i) { // three steady clocks are not yet a window
        lint.Feed(t += 20'000, Bytes{0xF8}, w);
        EXPECT_EQ(w.size(), i < 3 ? 1u : 2u) << i;
    }
    EXPECT_EQ(w.back(), (LintWarning{LintKind::ClockWanders, "the clock is steady again", true}));

    w.clear();
    lint.Feed(5'000'000, Bytes{0xFE}, w);
    lint.Tick(5'400'000, w);
    lint.Feed(5'500'000, Bytes{0xFE}, w);
    lint.Feed(5'600'000, Bytes{0xFE}, w); // told once
    lint.Feed(5'700'000, Bytes{0xF0, 0x7D}, w);
    lint.Feed(5'700'001, Bytes{0xF0, 0x7D, 0xF7}, w); // cut: nothing ends it
    lint.Feed(5'700'002, Bytes{0xFE}, w);
    EXPECT_EQ(Kinds(w),
              (std::vector<LintKind>{LintKind::ActiveSensingStopped, LintKind::ActiveSensingStopped,
                                     LintKind::SysexCut}));
    EXPECT_EQ(w[1], (LintWarning{LintKind::ActiveSensingStopped, "active sensing resumed", true}));
    EXPECT_TRUE(LintFaultLasts(LintKind::ClockWanders));
    EXPECT_FALSE(LintFaultLasts(LintKind::SysexCut));
    EXPECT_FALSE(LintFaultLasts(LintKind::DataEntryWithoutParameter));
}

TEST(MidiLint, TenMinutesOfCleanPlayingGiveNoWarning) {
    MidiLint lint;
    std::vector<LintWarning> w;
    // 120 BPM clock with a few microseconds of jitter, sensing, notes on and
    // off, a pitch bend range set through an RPN, whole sysex dumps.
    std::uint64_t t = 0;
    unsigned jitter = 1;
    for (int clock = 0; t < 600'000'000; ++clock) {
        jitter = jitter * 1103515245u + 12345u;
        t = static_cast<std::uint64_t>(clock) * 20'833 + (jitter >> 16) % 400;
        lint.Feed(t, Bytes{0xF8}, w);
        if (clock % 12 == 0) {
            lint.Feed(t + 1, Bytes{0xFE}, w);
        }
        if (clock % 24 == 0) {
            lint.Feed(t + 2, Bytes{0x90, static_cast<std::uint8_t>(40 + clock / 24 % 40), 90}, w);
        }
        if (clock % 24 == 12) {
            lint.Feed(t + 2, Bytes{0x80, static_cast<std::uint8_t>(40 + clock / 24 % 40), 0}, w);
        }
        if (clock % 2400 == 5) {
            for (const Bytes& m : {Bytes{0xB0, 101, 0}, Bytes{0xB0, 100, 0}, Bytes{0xB0, 6, 12}}) {
                lint.Feed(t + 3, m, w);
            }
            lint.Feed(t + 4, Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, w);
        }
        lint.Tick(t + 5, w);
    }
    EXPECT_EQ(w, std::vector<LintWarning>{});
}
