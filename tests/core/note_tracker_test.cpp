// The notes left on by a stream, and the panic and stop messages.
#include "core/note_tracker.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(NoteTracker, SilencesWhatWasLeftOnAndPanicsOnEveryChannel) {
    NoteTracker t;
    t.Feed(PackShortMessage(0x90, 60, 100));
    t.Feed(PackShortMessage(0x90, 60, 90)); // the same key twice: one note-off ends it
    t.Feed(PackShortMessage(0x92, 64, 100));
    t.Feed(PackShortMessage(0x92, 65, 100));
    t.Feed(PackShortMessage(0x92, 65, 0)); // velocity 0 is a note-off
    t.Feed(PackShortMessage(0x9A, 70, 1));
    t.Feed(PackShortMessage(0xBA, 123, 0)); // all notes off on channel 11
    const std::uint8_t aftertouch[] = {0xD5, 0x10};
    t.Feed(aftertouch);
    t.Feed(kTimingClock);
    EXPECT_EQ(t.NotesOn(), 2);
    EXPECT_EQ(t.ChannelsUsed(), (1u << 0) | (1u << 2) | (1u << 5) | (1u << 10));

    EXPECT_EQ(StopMessages(t), (std::vector<ShortMessage>{
                                   PackShortMessage(0x80, 60, 0), PackShortMessage(0x82, 64, 0),
                                   PackShortMessage(0xB0, 123, 0), PackShortMessage(0xB0, 64, 0),
                                   PackShortMessage(0xB2, 123, 0), PackShortMessage(0xB2, 64, 0),
                                   PackShortMessage(0xB5, 123, 0), PackShortMessage(0xB5, 64, 0),
                                   PackShortMessage(0xBA, 123, 0), PackShortMessage(0xBA, 64, 0)}));

    const std::vector<ShortMessage> tracked = PanicMessages(&t);
    ASSERT_EQ(tracked.size(), 2u + 32u);
    EXPECT_EQ(tracked[1], PackShortMessage(0x82, 64, 0));
    EXPECT_EQ(tracked[2], PackShortMessage(0xB0, 123, 0));
    EXPECT_EQ(tracked.back(), PackShortMessage(0xBF, 64, 0));

    // Nothing tracked: every key of every channel.
    const std::vector<ShortMessage> blind = PanicMessages(nullptr);
    ASSERT_EQ(blind.size(), 16u * 128u + 32u);
    EXPECT_EQ(blind[0], PackShortMessage(0x80, 0, 0));
    EXPECT_EQ(blind[16 * 128 - 1], PackShortMessage(0x8F, 127, 0));
    EXPECT_EQ(blind[16 * 128], PackShortMessage(0xB0, 123, 0));
}
