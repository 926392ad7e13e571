#include "core/frame_cycles.h"

#include <gtest/gtest.h>

using velmora::FrameCycles;

// Cycles counted from frame times read at any moment: partial periods carry
// over, the 32-bit wrap is one more step, a new period counts from then on,
// and a frame time that stands still (a stalled server) counts nothing.
TEST(FrameCycles, CountsWholePeriodsAcrossTheWrapAndAPeriodChange) {
    FrameCycles count{.lastFrame = 0xFFFFFF00u};
    EXPECT_EQ(count.Advance(0xFFFFFF80u, 256), 0u); // half a period
    EXPECT_EQ(count.Advance(0x00000080u, 256), 1u); // over the wrap: 256 more frames
    EXPECT_EQ(count.Advance(0x00000080u, 256), 1u); // stalled
    EXPECT_EQ(count.Advance(0x00000480u, 256), 5u);
    EXPECT_EQ(count.Advance(0x00000C80u, 1024), 7u); // 2048 frames of the new period
    EXPECT_EQ(count.Advance(0x00000C80u, 0), 7u);    // no period: nothing counted
}
