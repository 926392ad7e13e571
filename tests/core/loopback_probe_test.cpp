#include "core/loopback_probe.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(LoopbackProbe, NumbersRoundTripAndOtherMessagesAreNoProbes) {
    for (std::uint32_t n : {0u, 1u, 127u, 128u, 999'999u, (1u << 28) - 1}) {
        const std::vector<std::uint8_t> probe = ProbeMessage(n);
        ASSERT_EQ(probe.size(), kProbeBytes);
        EXPECT_EQ(ProbeNumber(probe), n);
    }
    std::vector<std::uint8_t> other = ProbeMessage(5);
    other[2] = 0x00;
    EXPECT_EQ(ProbeNumber(other), std::nullopt);
    EXPECT_EQ(ProbeNumber(std::vector<std::uint8_t>{0xF0, 0x7D, 0x56, 0x4C, 0xF7}), std::nullopt);
}

// Probe 2 lost, 3 back twice, 1 back after 4, 77 never sent; latencies in
// arrival order 100, 300, 200 and 3300 µs.
TEST(LoopbackProbe, FiguresCountLossesDuplicatesAndReorderingAndRankTheLatencies) {
    const std::vector<std::uint64_t> sent = {0, 1000, 2000, 3000, 4000};
    const std::vector<ProbeArrival> back = {{0, 100},  {3, 3300}, {3, 3400},
                                            {4, 4200}, {1, 4300}, {77, 5000}};
    const LoopbackFigures f = LoopbackResult(sent, back);
    EXPECT_EQ(f.sent, 5u);
    EXPECT_EQ(f.received, 4u);
    EXPECT_EQ(f.lost, 1u);
    EXPECT_EQ(f.duplicated, 1u);
    EXPECT_EQ(f.reordered, 1u);
    ASSERT_TRUE(f.latency);
    EXPECT_EQ(f.latency->min, 100u);
    EXPECT_EQ(f.latency->median, 200u); // of 100, 200, 300, 3300
    EXPECT_EQ(f.latency->max, 3300u);
    EXPECT_EQ(f.latency->p99, 3300u);
    EXPECT_DOUBLE_EQ(f.latency->jitter, (200.0 + 100.0 + 3100.0) / 3.0);

    const LoopbackFigures none = LoopbackResult(sent, {});
    EXPECT_EQ(none.lost, 5u);
    EXPECT_FALSE(none.latency);
}
