#include "core/router_transform.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(RouterTransform, ExamplesTable) {
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 0x3C, 0x40), 3, 12, 48, 72),
              PackShortMessage(0x92, 0x48, 0x40));
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 0x3C, 0x40), 0, 0, 0, 59), 0u);
    EXPECT_EQ(RouterTransform(PackShortMessage(0x80, 0x30, 0x00), 0, -5, 48, 72),
              PackShortMessage(0x80, 0x2B, 0x00));
    EXPECT_EQ(RouterTransform(PackShortMessage(0xB0, 0x07, 0x64), 16, 12, 48, 72),
              PackShortMessage(0xBF, 0x07, 0x64));
    EXPECT_EQ(RouterTransform(0xFA, 5, 12, 48, 72), 0xFAu);
}

TEST(RouterTransform, RangesAndChannels) {
    // Inclusive range, compared before transposition.
    EXPECT_NE(RouterTransform(PackShortMessage(0x90, 48, 1), 0, 0, 48, 72), 0u);
    EXPECT_NE(RouterTransform(PackShortMessage(0x90, 72, 1), 0, 0, 48, 72), 0u);
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 73, 1), 0, -24, 48, 72), 0u);
    // Low above high passes no notes, but other channel messages get the channel.
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 60, 1), 0, 0, 72, 48), 0u);
    EXPECT_EQ(RouterTransform(PackShortMessage(0xE3, 0, 64), 2, 12, 72, 48),
              PackShortMessage(0xE1, 0, 64));
    EXPECT_EQ(RouterTransform(PackShortMessage(0xA0, 60, 9), 10, 12, 72, 48),
              PackShortMessage(0xA9, 60, 9));
    // 0xF0 is not a system message here: it takes the channel rule.
    EXPECT_EQ(RouterTransform(0xF0, 2, 0, 0, 127), 0xF1u);
    // The top byte is not carried into a rewritten message.
    EXPECT_EQ(RouterTransform(0xFF000000u | PackShortMessage(0xB0, 1, 2), 0, 0, 0, 127),
              PackShortMessage(0xB0, 1, 2));
}

TEST(RouterTransform, NotesTransposedOutOfRangeAreDropped) {
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 120, 1), 0, 12, 0, 127), 0u);
    EXPECT_EQ(RouterTransform(PackShortMessage(0x80, 3, 0), 0, -24, 0, 127), 0u);
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 127, 1), 0, 0, 0, 127),
              PackShortMessage(0x90, 127, 1));
    EXPECT_EQ(RouterTransform(PackShortMessage(0x90, 24, 1), 0, -24, 0, 127),
              PackShortMessage(0x90, 0, 1));
    // Every note and transposition yields nothing or a well-formed note.
    for (int note = 0; note < 128; ++note) {
        for (int t = -24; t <= 24; ++t) {
            const auto r = RouterTransform(
                PackShortMessage(0x91, static_cast<std::uint8_t>(note), 5), 0, t, 0, 127);
            if (r != 0) {
                EXPECT_LT(Data1Of(r), 0x80) << note << " " << t;
                EXPECT_EQ(Data1Of(r), note + t);
            }
        }
    }
}

TEST(RouterTransform, IndicesOutsideTheListsSendNothing) {
    const auto on = PackShortMessage(0x90, 60, 1);
    EXPECT_EQ(RouterTransform(on, -1, 0, 0, 127), 0u);
    EXPECT_EQ(RouterTransform(on, 17, 0, 0, 127), 0u);
    EXPECT_EQ(RouterTransform(on, 0, 0, -1, 127), 0u);
    EXPECT_EQ(RouterTransform(on, 0, 0, 0, 128), 0u);
}
