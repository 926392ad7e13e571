#include "midi/probe_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::midi {
namespace {

using namespace std::chrono_literals;

// The loop sends every probe in order (as fast as it goes here) and ends as
// soon as all are back (a settling time of ten minutes is never waited
// out); with probes lost it ends once the way is quiet; a refused probe, a
// cancel or a stop ends the sending.
TEST(ProbeLoop, SendsInOrderAndWaitsOnlyForWhatIsMissing) {
    std::vector<std::uint32_t> sent;
    ProbeLoop all(100, 1e12, 10min);
    EXPECT_EQ(all.Run([&](std::uint32_t n) {
        sent.push_back(n);
        all.Arrived(std::nullopt); // not a probe: counts for nothing
        all.Arrived(n);
        all.Arrived(n); // a duplicate neither
        return true;
    }),
              100u);
    ASSERT_EQ(sent.size(), 100u);
    for (std::uint32_t n = 0; n < sent.size(); ++n) {
        EXPECT_EQ(sent[n], n);
    }
    EXPECT_EQ(all.Back(), 100u);

    ProbeLoop lossy(20, 1e12, 0ms);
    EXPECT_EQ(lossy.Run([&](std::uint32_t n) {
        if (n % 10 != 9) {
            lossy.Arrived(n);
        }
        return true;
    }),
              20u);
    EXPECT_EQ(lossy.Back(), 18u);

    ProbeLoop refused(20, 1e12, 0ms); // nothing comes back
    EXPECT_EQ(refused.Run([](std::uint32_t n) { return n < 4; }), 5u);

    ProbeLoop cancelled(20, 1e12, 10min);
    EXPECT_EQ(cancelled.Run([&](std::uint32_t n) {
        if (n == 6) {
            cancelled.Cancel();
        }
        return true;
    }),
              7u);

    int asked = 0;
    ProbeLoop stopped(20, 1e12, 10min);
    EXPECT_EQ(stopped.Run([](std::uint32_t) { return true; }, [&] { return ++asked > 3; }), 3u);
}

} // namespace
} // namespace velmora::midi
