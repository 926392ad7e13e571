#include "core/way_back.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WayBack, FollowsPassThroughPortsOnly) {
    // 0: a loopback feeding 1 (a loopback feeding 0 and 2) ; 2: a synth; 3: a
    // loopback feeding nobody.
    std::vector<GraphPort> ports(4);
    ports[0] = {true, {1}};
    ports[1] = {true, {0, 2}};
    ports[2] = {false, {}};
    ports[3] = {true, {}};
    EXPECT_EQ(WayBack(ports, 0, 1), Reach::Possible); // through a cycle, which ends
    EXPECT_EQ(WayBack(ports, 3, 3), Reach::Possible); // a loopback read where it is sent
    EXPECT_EQ(WayBack(ports, 3, 0), Reach::None);
    EXPECT_EQ(WayBack(ports, 2, 0), Reach::Unknown); // a synth may echo
    ports[1].feeds = {2};
    EXPECT_EQ(WayBack(ports, 0, 3), Reach::Unknown); // the synth is on the way
    EXPECT_EQ(WayBack(ports, 0, 9), Reach::Unknown);
}

} // namespace
} // namespace velmora
