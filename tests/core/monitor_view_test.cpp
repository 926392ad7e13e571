// What the events history shows, finds and saves beyond its short text, and
// when a monitor may bring its panel to the front.
#include <gtest/gtest.h>

#include "core/jump_guard.h"
#include "core/scrollback.h"

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

TEST(MessageFilterTest, KindsChannelsAndTheirStoredForm) {
    EXPECT_EQ(KindOf(0x93), MessageKind::Notes);
    EXPECT_EQ(KindOf(0x80), MessageKind::Notes);
    EXPECT_EQ(KindOf(0xA0), MessageKind::Aftertouch);
    EXPECT_EQ(KindOf(0xDF), MessageKind::Aftertouch);
    EXPECT_EQ(KindOf(0xB0), MessageKind::Controllers);
    EXPECT_EQ(KindOf(0xC1), MessageKind::ProgramChange);
    EXPECT_EQ(KindOf(0xE2), MessageKind::PitchBend);
    EXPECT_EQ(KindOf(0xF0), MessageKind::Sysex);
    EXPECT_EQ(KindOf(0xF8), MessageKind::Clock);
    EXPECT_EQ(KindOf(0xFE), MessageKind::ActiveSensing);
    EXPECT_EQ(KindOf(0xF2), MessageKind::OtherSystem);
    EXPECT_EQ(KindOf(0x12), MessageKind::OtherSystem);

    MessageFilter f;
    EXPECT_FALSE(f.HidesAny());
    f.hiddenKind[static_cast<std::size_t>(MessageKind::Clock)] = true;
    f.hiddenChannel[9] = true;
    EXPECT_TRUE(f.HidesAny());
    EXPECT_FALSE(f.Shows(0xF8));
    EXPECT_TRUE(f.Shows(0xFA));
    EXPECT_FALSE(f.Shows(0x99)); // channel 10
    EXPECT_TRUE(f.Shows(0x98));
    EXPECT_TRUE(f.Shows(0xF2)); // system messages have no channel

    const std::string stored = f.Encode();
    EXPECT_EQ(stored, "k000000100c0000000001000000");
    const MessageFilter back = MessageFilter::Decode(stored);
    EXPECT_EQ(back.hiddenKind, f.hiddenKind);
    EXPECT_EQ(back.hiddenChannel, f.hiddenChannel);
    for (const char* bad : {"", "k", "k000000100c000000000100000", "k000000100c00000000010000x0",
                            "x000000100c0000000001000000"}) {
        EXPECT_FALSE(MessageFilter::Decode(bad).HidesAny()) << bad;
    }
}

TEST(ScrollbackTest, KeepsItsCapacityAndShowsFindsAndSavesWhatTheFilterLetsThrough) {
    Scrollback sb(3);
    EXPECT_FALSE(
        sb.Append(10, PackShortMessage(0x90, 60, 100), "90 3C 64    Note On  ").has_value());
    EXPECT_FALSE(sb.Append(15, kTimingClock, "F8          Timing Clock").has_value());
    EXPECT_FALSE(
        sb.Append(40, PackShortMessage(0xC9, 5, 0), "C9 05       Program, \"x\"").has_value());
    const auto dropped = sb.Append(100, PackShortMessage(0x80, 60, 0), "80 3C 00    Note Off");
    ASSERT_TRUE(dropped.has_value());
    EXPECT_EQ(dropped->number, 0u);
    ASSERT_EQ(sb.Entries().size(), 3u);
    EXPECT_EQ(sb.Entries().back().number, 3u);

    MessageFilter f;
    f.hiddenKind[static_cast<std::size_t>(MessageKind::Clock)] = true;
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
              "Time (ms),Bytes,Kind,Channel,Message\r\n"
              "40,C9 05,Program change,10,\"C9 05       Program, \"\"x\"\"\"\r\n"
              "100,80 3C 00,Notes,1,80 3C 00    Note Off\r\n");

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
