// Velmora's own input port and request and reply, end to end over real JACK
// ports: other programs send to `velmora-cli monitor --virtual`, and a device
// (a peer client) answers the request `velmora-cli record --request` sends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "jack_peer.h"
#include "late_cycles.h"
#include "support/child_process.h"
#include "support/device_listing.h"
#include "support/eventually.h"

using velmora::jacktest::JackPeer;
using velmora::jacktest::RepeatedOnLateCycles;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VELMORA_CLI;
using Bytes = std::vector<std::uint8_t>;

// A Roland device's answer to an identity request: family 0x0110, member
// 0x0302, version 1.2.3.4.
const Bytes kIdentityReply = {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x10, 0x01,
                              0x02, 0x03, 0x01, 0x02, 0x03, 0x04, 0xF7};
const std::string kIdentityDetails = "identity reply: Roland Corporation, family 0110, member "
                                     "0302, version 01 02 03 04";

} // namespace

TEST(OwnPortOnJack, TakesWhatOtherProgramsSendAndStaysOffVelmorasLists) {
    ::setenv("LC_ALL", "C", 1);
    std::string error;
    auto sender = JackPeer::Open("sender", &error);
    ASSERT_TRUE(sender) << error;
    const std::string own = "Velmora Monitor";
    ChildProcess first({kCli, "monitor", "--api", "jack", "--virtual", own, "--details"});
    ASSERT_TRUE(sender->WaitForPort(own + ":" + own, 30s)) << first.Errors();
    // A second Velmora's port of the same name: JACK adds "-01" to its client.
    ChildProcess second({kCli, "monitor", "--api", "jack", "--virtual", own});
    ASSERT_TRUE(sender->WaitForPort(own + "-01:" + own, 30s)) << second.Errors();

    // Neither is offered as an output: Velmora would only send to itself.
    ChildProcess list({kCli, "list", "--api", "jack"});
    ASSERT_EQ(list.Wait(30s), 0) << list.Errors();
    EXPECT_EQ(list.Output().find(own), std::string::npos) << list.Output();
    EXPECT_GE(velmora::testing::DeviceNumber(list.Output(), "Outputs", sender->InPort()), 0);

    ASSERT_TRUE(sender->Connect(sender->OutPort(), own + ":" + own));
    ASSERT_TRUE(sender->Connect(sender->OutPort(), own + "-01:" + own));
    ASSERT_TRUE(RepeatedOnLateCycles(
        *sender,
        [&](std::uint64_t) {
            sender->Send({0xB2, 101, 0}); // pitch bend sensitivity: 12 semitones
            sender->Send({0xB2, 100, 0});
            sender->Send({0xB2, 6, 12});
            sender->Send(kIdentityReply);
            return first.WaitForOutput(kIdentityDetails, 20s) &&
                   second.WaitForOutput("F0 7E 10 06 02 41 10 01 02 03 01 02 03 04 F7", 20s);
        }))
        << first.Output() << first.Errors();
    EXPECT_NE(first.Output().find("pitch bend sensitivity = 12 semitones 0 cents"),
              std::string::npos)
        << first.Output();

    for (ChildProcess* monitor : {&first, &second}) {
        monitor->Signal(SIGTERM);
        EXPECT_EQ(monitor->Wait(30s), 0) << monitor->Errors();
    }
    // Closed with the monitor: the name is free again.
    EXPECT_TRUE(velmora::testing::Eventually([&] { return sender->Ports(own).empty(); }, 30s));

    ChildProcess bad({kCli, "monitor", "--api", "jack", "--virtual", "a:b"});
    EXPECT_EQ(bad.Wait(30s), 2);
    EXPECT_NE(bad.Errors().find("--virtual 'a:b'"), std::string::npos) << bad.Errors();
}
