#include "midi/alsa/send_pace.h"

#include <gtest/gtest.h>

namespace velmora::midi {
namespace {

using namespace std::chrono_literals;

TEST(SendPace, LetsAHeadStartGoAtOnceThenFollowsTheRate) {
    SendPace pace(1000, 500); // 1,000 bytes a second, 500 ahead
    const SendPace::Clock::time_point t0{};
    EXPECT_EQ(pace.WaitFor(500, t0), 0ms);
    pace.Took(500, t0);
    // 250 more would put 750 ms of bytes ahead: wait 250 ms.
    EXPECT_EQ(pace.WaitFor(250, t0), 250ms);
    EXPECT_EQ(pace.WaitFor(250, t0 + 250ms), 0ms);
    pace.Took(250, t0 + 250ms);
    // After a long pause nothing is ahead any more.
    EXPECT_EQ(pace.WaitFor(500, t0 + 10s), 0ms);
    SendPace unpaced(0, 0);
    EXPECT_EQ(unpaced.WaitFor(1 << 20, t0), 0ms);
}

} // namespace
} // namespace velmora::midi
