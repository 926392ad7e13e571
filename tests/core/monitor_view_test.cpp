// What the events history shows, finds and saves beyond its short text, and
// when a monitor may bring its panel to the front.
#include <gtest/gtest.h>

#include "core/jump_guard.h"
#include "core/monitor_view.h"
#include "core/scrollback.h"
#include "core/source_column.h"

using namespace velmora;

TEST(JumpGuardTest, AListOpenOrARecentChoiceHoldsJumpsBack) {
    JumpGuard guard;
    EXPECT_TRUE(JumpAllowed(guard, 0, false));
    EXPECT_FALSE(JumpAllowed(guard, 0, true));
    NoteUserChoice(guard, 1000);
    EXPECT_FALSE(JumpAllowed(guard, 1000, false));
    EXPECT_FALSE(JumpAllowed(guard, 1000 + JumpGuard::kQuietMs - 1, false));
    EXPECT_TRUE(JumpAllowed(guard, 1000 + JumpGuard::kQuietMs, false));
    EXPECT_FALSE(JumpAllowed(guard, 1000 + JumpGuard::kQuietMs, true));
    // A clock that went back never holds jumps back for good.
    EXPECT_TRUE(JumpAllowed(guard, 999, false));
}

TEST(JumpGuardTest, ANewDumpJumpsAndKeepsTheSysexMonitorInFrontUntilAMomentAfterItsEnd) {
    JumpGuard guard;
    NoteUserChoice(guard, 4900);                        // just before the dump: no hold on it
    for (std::int32_t block = 0; block < 10; ++block) { // a block each 500 ms
        const std::int32_t at = 5000 + block * 500;
        NoteSysexBlock(guard, at);
        EXPECT_TRUE(SysexJumpAllowed(guard, at, false));
        EXPECT_FALSE(SysexJumpAllowed(guard, at, true));
        EXPECT_TRUE(SysexHoldsFront(guard, at + 499));
    }
    EXPECT_EQ(guard.dumpStartedAt, 5000);
    const std::int32_t last = 5000 + 9 * 500;
    EXPECT_TRUE(SysexHoldsFront(guard, last + JumpGuard::kSysexHoldMs - 1));
    EXPECT_FALSE(SysexHoldsFront(guard, last + JumpGuard::kSysexHoldMs));
    EXPECT_FALSE(SysexHoldsFront(guard, last - 1)); // a clock that went back

    // The user chose a panel while a dump arrives: its next blocks leave it be.
    NoteSysexBlock(guard, 20000);
    NoteUserChoice(guard, 20100);
    for (std::int32_t at = 20500; at < 20100 + JumpGuard::kQuietMs; at += 500) {
        NoteSysexBlock(guard, at);
        EXPECT_FALSE(SysexJumpAllowed(guard, at, false)) << at;
    }
    NoteSysexBlock(guard, 20100 + JumpGuard::kQuietMs); // the same dump, the quiet time over
    EXPECT_EQ(guard.dumpStartedAt, 20000);
    EXPECT_TRUE(SysexJumpAllowed(guard, 20100 + JumpGuard::kQuietMs, false));
    // The next dump jumps at once.
    NoteUserChoice(guard, 30000);
    NoteSysexBlock(guard, 30000 + JumpGuard::kSysexHoldMs);
    EXPECT_EQ(guard.dumpStartedAt, 30000 + JumpGuard::kSysexHoldMs);
    EXPECT_TRUE(SysexJumpAllowed(guard, 30000 + JumpGuard::kSysexHoldMs, false));
}

TEST(HistoryFilterTest, ShowsEverythingByDefaultAndStoresWhatItHidesInTheCommandLinesWords) {
    MessageFilter f = kShowEverything;
    EXPECT_FALSE(HidesAny(f));
    EXPECT_TRUE(f.Shows(0xF8));
    EXPECT_TRUE(f.Shows(0xFE));
    EXPECT_EQ(HiddenKindsText(f), "");
    EXPECT_EQ(HiddenChannelsText(f), "");
    f.kinds &= ~std::uint32_t{kKindClock | kKindCommon};
    f.channels &= static_cast<std::uint16_t>(~(1u << 9 | 1u << 15));
    EXPECT_TRUE(HidesAny(f));
    EXPECT_TRUE(HidesKind(f, kKindClock));
    EXPECT_FALSE(f.Shows(0x99)); // channel 10
    EXPECT_TRUE(f.Shows(0x98));
    EXPECT_EQ(HiddenKindsText(f), "clock,common");
    EXPECT_EQ(HiddenChannelsText(f), "10,16");
    const auto back = HistoryFilterFrom("clock,common", "10,16");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->kinds, f.kinds);
    EXPECT_EQ(back->channels, f.channels);
    EXPECT_EQ(HistoryFilterFrom(std::nullopt, "1-16")->channels, 0);
    EXPECT_EQ(HistoryFilterFrom(std::nullopt, std::nullopt)->kinds, kAllKinds);
    EXPECT_FALSE(HistoryFilterFrom("clock,bogus", std::nullopt).has_value());
    EXPECT_FALSE(HistoryFilterFrom(std::nullopt, "17").has_value());
    EXPECT_EQ(KindLabel(KindOfStatus(0xC1)), "Program change");
    EXPECT_EQ(KindLabel(KindOfStatus(0xFA)), "Other real-time");
}

TEST(ScrollbackTest, KeepsItsCapacityAndShowsFindsAndSavesWhatTheFilterLetsThrough) {
    Scrollback sb(3);
    EXPECT_FALSE(
        sb.Append(10, PackShortMessage(0x90, 60, 100), "90 3C 64    Note On  ").has_value());
    EXPECT_FALSE(sb.Append(15, kTimingClock, "F8          Timing Clock").has_value());
    EXPECT_FALSE(
        sb.Append(40, PackShortMessage(0xC9, 5, 0), "C9 05       Program, \"x\"").has_value());
    const auto dropped =
        sb.Append(100, PackShortMessage(0x80, 60, 0), "80 3C 00    Note Off", "held 90 ms, C3");
    ASSERT_TRUE(dropped.has_value());
    EXPECT_EQ(dropped->number, 0u);
    ASSERT_EQ(sb.Entries().size(), 3u);
    EXPECT_EQ(sb.Entries().back().number, 3u);

    MessageFilter f = kShowEverything;
    f.kinds &= ~std::uint32_t{kKindClock};
    EXPECT_EQ(sb.HiddenCount(f), 1u);
    EXPECT_EQ(ShownLines(sb, f, TimeColumn::Off, 0),
              (std::vector<std::string>{"C9 05       Program, \"x\"", "80 3C 00    Note Off"}));
    EXPECT_EQ(ShownLines(sb, f, TimeColumn::Delta, 0),
              (std::vector<std::string>{"+        0 ms  C9 05       Program, \"x\"",
                                        "+       60 ms  80 3C 00    Note Off"}));
    EXPECT_EQ(ShownLines(sb, f, TimeColumn::SinceStart, 0).back(),
              "       100 ms  80 3C 00    Note Off");
    // The time of day wraps round at midnight.
    EXPECT_EQ(TimeText(TimeColumn::TimeOfDay, 1500, std::nullopt, 86399000), "00:00:00.500");
    EXPECT_EQ(TimeText(TimeColumn::TimeOfDay, 0, std::nullopt, 45296789), "12:34:56.789");
    EXPECT_EQ(TimeText(TimeColumn::Off, 5, 1, 0), "");

    EXPECT_EQ(ScrollbackCsv(sb, f),
              "Time (ms),Bytes,Kind,Channel,Message,Details\r\n"
              "40,C9 05,Program change,10,\"C9 05       Program, \"\"x\"\"\",\r\n"
              "100,80 3C 00,Notes,1,80 3C 00    Note Off,\"held 90 ms, C3\"\r\n");

    // Search ignores case, goes both ways and wraps round.
    const std::vector<std::string> lines{"Note On C3", "Clock", "note off C3", "Program"};
    EXPECT_EQ(FindLine(lines, "NOTE", std::nullopt, true), 0u);
    EXPECT_EQ(FindLine(lines, "note", 0, true), 2u);
    EXPECT_EQ(FindLine(lines, "note", 2, true), 0u);
    EXPECT_EQ(FindLine(lines, "note", 0, false), 2u);
    EXPECT_EQ(FindLine(lines, "note", std::nullopt, false), 2u);
    EXPECT_EQ(FindLine(lines, "c3", 2, true), 0u);
    EXPECT_FALSE(FindLine(lines, "pitch", std::nullopt, true).has_value());
    EXPECT_FALSE(FindLine(lines, "", std::nullopt, true).has_value());
    EXPECT_FALSE(FindLine({}, "x", std::nullopt, true).has_value());
}

namespace {

std::string NoteLine(int i) {
    return "90 " + std::to_string(i);
}

} // namespace

TEST(MonitorViewTest, FollowsTheNewestLinesThatFitAndHoldsWhereTheUserScrolled) {
    MonitorView view(100);
    for (int i = 0; i < 30; ++i) {
        const HistoryStep s = view.Add(i, 0x3C90, NoteLine(i));
        EXPECT_TRUE(s.toBox);
        EXPECT_EQ(s.dropLines, i < 26 ? 0u : 1u) << i; // never fewer than 26 lines
    }
    EXPECT_EQ(view.BoxLines(false).front(), NoteLine(4));
    // A taller box follows as many lines as fit; a smaller one keeps 26.
    EXPECT_TRUE(view.SetFitRows(40));
    EXPECT_EQ(view.BoxLines(false).size(), 30u);
    EXPECT_TRUE(view.SetFitRows(12));
    EXPECT_FALSE(view.SetFitRows(20));
    EXPECT_EQ(view.FollowLimit(), 26u);

    // Held: the box takes the whole scrollback and only counts what arrives.
    EXPECT_EQ(view.HoldMark(), "");
    EXPECT_TRUE(view.Hold());
    EXPECT_FALSE(view.Hold());
    EXPECT_EQ(view.BoxLines(false).size(), 30u);
    for (int i = 30; i < 110; ++i) {
        const HistoryStep s = view.Add(i, 0x90, NoteLine(i));
        // Only what leaves the scrollback leaves the box.
        EXPECT_EQ(s.dropLines, i < 100 ? 0u : 1u) << i;
    }
    EXPECT_EQ(view.NewBelow(), 80u);
    EXPECT_EQ(view.HoldMark(), "80 new below, End to follow");
    EXPECT_EQ(view.BoxLineCount(), 100u);
    // Following again brings the box back to the newest lines.
    EXPECT_TRUE(view.Follow());
    EXPECT_EQ(view.HoldMark(), "");
    EXPECT_EQ(view.BoxLines(false).size(), 26u);
    EXPECT_EQ(view.BoxLines(false).back(), NoteLine(109));
    // With the long history the box holds everything anyway.
    view.SetLongHistory(true);
    EXPECT_FALSE(view.Hold());
    EXPECT_EQ(view.BoxLines(false).size(), 100u);
    view.Clear();
    EXPECT_TRUE(view.Following());
    EXPECT_EQ(view.Total(), 110u);
}

TEST(MonitorViewTest, PauseFiltersAndTheTimeColumnChangeOnlyWhatTheBoxShows) {
    MonitorView view;
    MessageFilter noClock = kShowEverything;
    noClock.kinds &= ~std::uint32_t{kKindClock};
    view.SetFilter(noClock);
    view.SetTimeColumn(TimeColumn::Delta);
    EXPECT_EQ(view.Add(10, 0x90, "On").boxLine, "+        0 ms  On");
    const HistoryStep clock = view.Add(15, 0xF8, "Clock");
    EXPECT_FALSE(clock.shown);
    EXPECT_FALSE(clock.toBox);
    EXPECT_EQ(view.Add(40, 0x80, "Off").boxLine, "+       30 ms  Off");
    EXPECT_EQ(view.Hidden(), 1u);

    view.SetPaused(true);
    const HistoryStep paused = view.Add(50, 0x90, "On");
    EXPECT_TRUE(paused.shown);
    EXPECT_FALSE(paused.toBox);
    view.AddBlock();
    EXPECT_EQ(view.PausedArrivals(), 2u);
    view.SetPaused(false);
    EXPECT_EQ(view.PausedArrivals(), 2u); // said once the pause is over

    EXPECT_FALSE(view.SetFilter(kShowEverything));
    view.SetTimeColumn(TimeColumn::Off);
    EXPECT_EQ(view.BoxLines(false), (std::vector<std::string>{"On", "Clock", "Off", "On"}));
    EXPECT_EQ(view.Hidden(), 0u);
    MessageFilter noSysex = kShowEverything;
    noSysex.kinds &= ~std::uint32_t{kKindSysex};
    EXPECT_FALSE(view.SetFilter(noSysex));
    EXPECT_TRUE(view.SetFilter(kShowEverything)); // the sysex box is to be made afresh
}

TEST(MonitorViewTest, WithSeveralInputsEachLineCarriesItsSourceInTheBoxTheFindAndTheCsv) {
    MonitorView view;
    view.SetTimeColumn(TimeColumn::SinceStart);
    EXPECT_EQ(view.Add(5, 0x403C90, "Note On", {}, "Keys").boxLine,
              "         5 ms  Note On"); // kept, not shown without the column
    view.SetSources(true);
    const HistoryStep step = view.Add(7, 0x0040B0, "Control Change", {}, "Pads");
    EXPECT_EQ(step.boxLine, "         7 ms  " + SourceCell("Pads") + "  Control Change");
    const std::string longName = "Midi Through:Midi Through Port-0 14:0";
    view.Add(9, 0xF0, SysexHistoryLine(std::vector<std::uint8_t>(200, 0x41)), {}, longName);

    // The cell: padded, or cut in the middle to the same width.
    EXPECT_EQ(SourceCell("Pads"), "Pads            ");
    EXPECT_EQ(SourceCell(longName), "Midi Th..-0 14:0");
    EXPECT_EQ(SourceCell(longName).size(), kSourceWidth);

    const std::vector<std::string> lines = view.BoxLines(false);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "         5 ms  " + SourceCell("Keys") + "  Note On");
    EXPECT_EQ(lines[2].substr(15, kSourceWidth + 2), SourceCell(longName) + "  ");
    EXPECT_TRUE(lines[2].ends_with("Sysex, 200 bytes: 41 41 41 41 41 41 41 41 41 41 41 41 41 41 "
                                   "41 ..."));
    EXPECT_EQ(FindLine(lines, "pads", std::nullopt, true), 1u);
    // Hiding sysex hides the other input's sysex lines too.
    view.SetFilter({kAllKinds & ~kKindSysex, kAllChannels});
    EXPECT_EQ(view.BoxLines(false).size(), 2u);

    const std::string csv = ScrollbackCsv(view.scrollback(), kShowEverything, true);
    EXPECT_TRUE(csv.starts_with("Time (ms),Bytes,Kind,Channel,Message,Details,Source\r\n"));
    EXPECT_NE(csv.find(",Control Change,,Pads\r\n"), std::string::npos);
    EXPECT_NE(csv.find("," + longName + "\r\n"), std::string::npos);
    EXPECT_NE(csv.find(",Sysex,,"), std::string::npos);
    // Without the column the file is as with one input.
    EXPECT_TRUE(ScrollbackCsv(view.scrollback(), kShowEverything)
                    .starts_with("Time (ms),Bytes,Kind,Channel,Message,Details\r\n"));
    EXPECT_EQ(ScrollbackCsv(view.scrollback(), kShowEverything).find("Pads"), std::string::npos);
}
