// The loopback arithmetic on made-up runs: what came back how, and the
// latency figures.
#include "core/loopback_stats.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(LoopbackStats, ProbesCarryTheirNumberAndAreKnownAgainAfterWrapping) {
    EXPECT_EQ(LoopbackProbe(0x1234 + 16384), PackShortMessage(0xF2, 0x34, 0x24));
    EXPECT_EQ(LoopbackProbeBits(LoopbackProbe(5)), 5u);
    EXPECT_FALSE(LoopbackProbeBits(PackShortMessage(0x90, 60, 1)));
    // The last probe sent with those bits; none when none was sent yet.
    EXPECT_EQ(LoopbackProbeNumber(3, 16384 + 10), 16384u + 3);
    EXPECT_EQ(LoopbackProbeNumber(20, 16384 + 10), 20u);
    EXPECT_FALSE(LoopbackProbeNumber(20, 10));
    EXPECT_FALSE(LoopbackProbeNumber(0, 0));

    const std::vector<std::uint8_t> dump = LoopbackSysexProbe(300, 1000);
    ASSERT_EQ(dump.size(), 1000u);
    EXPECT_EQ(dump.front(), 0xF0);
    EXPECT_EQ(dump.back(), 0xF7);
    EXPECT_EQ(LoopbackSysexArrival(dump, 1000, 301), 300u);
    std::vector<std::uint8_t> changed = dump;
    changed[500] ^= 1;
    EXPECT_FALSE(LoopbackSysexArrival(changed, 1000, 301));
    changed = dump;
    changed.erase(changed.begin() + 500);
    EXPECT_FALSE(LoopbackSysexArrival(changed, 1000, 301));
    EXPECT_FALSE(LoopbackSysexArrival(std::vector<std::uint8_t>{0xF0, 0x41, 0xF7}, 1000, 301));
}

TEST(LoopbackStats, CountsLostDuplicatedReorderedAndDamagedAndMeasuresLatency) {
    const std::vector<std::int64_t> sent = {0, 1000, 2000, 3000, 4000};
    const std::vector<LoopbackArrival> back = {
        {0, 500}, {2, 2700}, {1, 2900}, {2, 2950}, {std::nullopt, 3000}, {4, 4800}};
    const LoopbackReport r = SummarizeLoopback(sent, back);
    EXPECT_EQ(r.sent, 5u);
    EXPECT_EQ(r.received, 4u);
    EXPECT_EQ(r.lost, 1u);
    EXPECT_EQ(r.duplicated, 1u);
    EXPECT_EQ(r.reordered, 1u);
    EXPECT_EQ(r.damaged, 1u);
    EXPECT_FALSE(r.Clean());
    // Latencies 500, 700, 1900, 800 in order of arrival.
    ASSERT_TRUE(r.latency);
    EXPECT_EQ(r.latency->minimum, 500);
    EXPECT_EQ(r.latency->median, 700);
    EXPECT_EQ(r.latency->p99, 1900);
    EXPECT_EQ(r.latency->maximum, 1900);
    EXPECT_EQ(r.latency->jitter, (200 + 1200 + 1100) / 3);
    EXPECT_EQ(LoopbackReportText(r),
              "sent: 5\nreceived: 4\nlost: 1\nduplicated: 1\nreordered: 1\ndamaged: 1\n"
              "latency: min 0.500 ms, median 0.700 ms, p99 1.900 ms, max 1.900 ms\n"
              "jitter: 0.833 ms\n");

    const LoopbackReport none = SummarizeLoopback(sent, {});
    EXPECT_EQ(none.lost, 5u);
    EXPECT_FALSE(none.latency);
    EXPECT_TRUE(
        SummarizeLoopback(
            sent, std::vector<LoopbackArrival>{{0, 1}, {1, 1001}, {2, 2001}, {3, 3001}, {4, 4001}})
            .Clean());
}

TEST(LoopbackStats, CollectsProbesFromBlocksAndCountsCutOnesAsDamaged) {
    const std::vector<std::uint8_t> dump = LoopbackSysexProbe(1, 300);
    LoopbackCollector sysex(300);
    sysex.Short(LoopbackProbe(0), 2, 10); // not what this run sends
    sysex.Block(std::span(dump).first(100), 2, 20);
    sysex.Block(std::span(dump).subspan(100), 2, 30);
    sysex.Block(std::span(dump).first(50), 2, 40); // cut short by the next
    sysex.Block(dump, 2, 50);
    sysex.Block(std::span(dump).first(50), 2, 60); // still coming at the end
    sysex.End(2, 70);
    ASSERT_EQ(sysex.Arrivals().size(), 4u);
    EXPECT_EQ(sysex.Arrivals()[0].number, 1u);
    EXPECT_EQ(sysex.Arrivals()[0].micros, 30);
    EXPECT_FALSE(sysex.Arrivals()[1].number);
    EXPECT_EQ(sysex.Arrivals()[2].number, 1u);
    EXPECT_FALSE(sysex.Arrivals()[3].number);

    LoopbackCollector shorts(0);
    shorts.Short(LoopbackProbe(1), 2, 10);
    shorts.Block(dump, 2, 20); // not what this run sends
    ASSERT_EQ(shorts.Arrivals().size(), 1u);
    EXPECT_EQ(shorts.Arrivals()[0].number, 1u);
}
