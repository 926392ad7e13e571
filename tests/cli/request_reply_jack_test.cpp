// Velmora's own input port and request and reply, end to end over real JACK
// ports: other programs send to `velmora-cli monitor --virtual`, and a device
// (a peer client) answers the request `velmora-cli record --request` sends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <stdlib.h>

#include "core/sysex_request.h"

#include "jack_peer.h"
#include "late_cycles.h"
#include "support/child_process.h"
#include "support/device_listing.h"
#include "support/eventually.h"

using velmora::kIdentityRequest;
using namespace velmora::jacktest;
using namespace velmora::testing;
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

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string HexLine(const Bytes& bytes) {
    std::string line;
    for (const std::uint8_t b : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X ", b);
        line += text;
    }
    return line + "\n";
}

// A folder of its own for the files of one test, removed after it.
class RequestOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        std::string folder = ::testing::TempDir() + "velmora-request-XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        dir_ = folder;
        std::string error;
        device_ = JackPeer::Open("synth", &error);
        ASSERT_TRUE(device_) << error;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::string> Record(const std::vector<std::string>& more) {
        std::vector<std::string> argv = {kCli,   "record",           "--api", "jack",
                                         "--in", device_->OutPort(), "--out", device_->InPort()};
        argv.insert(argv.end(), more.begin(), more.end());
        return argv;
    }

    fs::path dir_;
    std::unique_ptr<JackPeer> device_;
};

} // namespace

TEST(OwnPortOnJack, TakesWhatOtherProgramsSendAndStaysOffVelmorasLists) {
    ::setenv("LC_ALL", "C", 1);
    std::string error;
    auto sender = JackPeer::Open("sender", &error);
    ASSERT_TRUE(sender) << error;
    const std::string own = "Velmora Monitor";
    ChildProcess first({kCli, "monitor", "--api", "jack", "--virtual", own, "--details"});
    const std::string firstPort = "Velmora:" + own;
    ASSERT_TRUE(sender->WaitForPort(firstPort, 30s)) << first.Errors();
    // A second Velmora's port of the same name: its client is "Velmora-01",
    // and the port gets "-01" too, so that the name alone tells them apart.
    ChildProcess second({kCli, "monitor", "--api", "jack", "--virtual", own});
    const std::string secondPort = "Velmora-01:" + own + "-01";
    ASSERT_TRUE(sender->WaitForPort(secondPort, 30s)) << second.Errors();

    // Neither is offered as an output: Velmora would only send to itself.
    ChildProcess list({kCli, "list", "--api", "jack"});
    ASSERT_EQ(list.Wait(30s), 0) << list.Errors();
    EXPECT_EQ(list.Output().find(own), std::string::npos) << list.Output();
    EXPECT_GE(velmora::testing::DeviceNumber(list.Output(), "Outputs", sender->InPort()), 0);

    ASSERT_TRUE(sender->Connect(sender->OutPort(), firstPort));
    ASSERT_TRUE(sender->Connect(sender->OutPort(), secondPort));
    ASSERT_TRUE(RepeatedOnLateCycles(
        *sender,
        [&](std::uint64_t) {
            sender->Send({0xB2, 101, 0}); // pitch bend sensitivity: 12 semitones
            sender->Send({0xB2, 100, 0});
            sender->Send({0xB2, 6, 12});
            sender->Send(kIdentityReply);
            return first.WaitForOutput("pitch bend sensitivity = 12 semitones 0 cents", 20s) &&
                   first.WaitForOutput(kIdentityDetails, 20s) &&
                   second.WaitForOutput("F0 7E 10 06 02 41 10 01 02 03 01 02 03 04 F7", 20s);
        }))
        << first.Output() << first.Errors();

    for (ChildProcess* monitor : {&first, &second}) {
        monitor->Signal(SIGTERM);
        EXPECT_EQ(monitor->Wait(30s), 0) << monitor->Errors();
    }
    // Closed with the monitor: the name is free again.
    EXPECT_TRUE(Eventually([&] { return sender->Ports(own).empty(); }, 30s));

    ChildProcess bad({kCli, "monitor", "--api", "jack", "--virtual", "a:b"});
    EXPECT_EQ(bad.Wait(30s), 2);
    EXPECT_NE(bad.Errors().find("--virtual 'a:b'"), std::string::npos) << bad.Errors();
}

TEST_F(RequestOnJack, RecordSavesExactlyTheReplyToAnIdentityRequestAndDecodeDescribesIt) {
    const fs::path reply = dir_ / "reply.syx";
    const Bytes request(kIdentityRequest.begin(), kIdentityRequest.end());
    // The device answers the request it gets; tried again when the server
    // ran late and dropped the request or the reply.
    ASSERT_TRUE(RepeatedOnLateCycles(*device_, [&](std::uint64_t late) {
        device_->ClearReceived();
        ChildProcess record(
            Record({"--request", "F0 7E 7F 06 01 F7", "--idle-ms", "200", reply.string()}));
        if (!WaitForAllUnlessLate(*device_, late, 1, [&] { return device_->ReceivedCount(); })) {
            return ::testing::AssertionFailure() << "no request came: " << record.Errors();
        }
        if (device_->Received().at(0) != request) {
            return ::testing::AssertionFailure() << "not the identity request";
        }
        device_->Send(kIdentityReply);
        const int status = record.Wait(30s);
        if (status != 0) {
            return ::testing::AssertionFailure() << status << ": " << record.Errors();
        }
        return ::testing::AssertionSuccess() << record.Errors();
    }));
    EXPECT_EQ(ReadFile(reply), kIdentityReply);

    const fs::path text = dir_ / "reply.txt";
    std::ofstream(text) << HexLine(ReadFile(reply));
    ChildProcess decode(
        {"/bin/sh", "-c", "exec \"$0\" decode --details < \"$1\"", kCli, text.string()});
    EXPECT_EQ(decode.Wait(30s), 0) << decode.Errors();
    EXPECT_NE(decode.Output().find(kIdentityDetails), std::string::npos) << decode.Output();
}

TEST_F(RequestOnJack, NoReplyBadRequestsAndMissingOutputsAreSaidAndWriteNothing) {
    const fs::path target = dir_ / "nothing.syx";
    ChildProcess missing(Record({"--request-file", (dir_ / "req.syx").string(), target.string()}));
    EXPECT_EQ(missing.Wait(30s), 1);
    EXPECT_NE(missing.Errors().find("req.syx: file not found"), std::string::npos)
        << missing.Errors();

    {
        std::ofstream(dir_ / "req.syx", std::ios::binary)
            .write(reinterpret_cast<const char*>(kIdentityRequest.data()), 6);
    }
    // The device stays silent: the wait ends after the timeout.
    const std::uint64_t lateBefore = device_->XRuns();
    ChildProcess waiting(Record(
        {"--request-file", (dir_ / "req.syx").string(), "--timeout-ms", "300", target.string()}));
    EXPECT_EQ(waiting.Wait(30s), 1);
    EXPECT_NE(waiting.Errors().find("no reply came within 300 ms of the request sent to '" +
                                    device_->InPort() + "'"),
              std::string::npos)
        << waiting.Errors();
    // The request went out (unless the server ran late and dropped it).
    EXPECT_TRUE(device_->WaitForEvents(1, 5s) || device_->XRuns() != lateBefore);

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--request", "F0 7E ZZ F7", target.string()}, "--request: \"ZZ\" is not a hexadecimal"},
        {{"--request", "90 3C 40", target.string()}, "does not start a sysex message"},
        {{"--request", "F0 7E 7F 06 01 F7", "--request-file", "x.syx", target.string()},
         "can't go together"},
    };
    for (const auto& [args, why] : refused) {
        ChildProcess bad(Record(args));
        EXPECT_EQ(bad.Wait(30s), 2) << why;
        EXPECT_NE(bad.Errors().find(why), std::string::npos) << bad.Errors();
    }
    ChildProcess noOut({kCli, "record", "--api", "jack", "--in", device_->OutPort(), "--request",
                        "F0 7E 7F 06 01 F7", target.string()});
    EXPECT_EQ(noOut.Wait(30s), 2);
    EXPECT_NE(noOut.Errors().find("--request needs --out M"), std::string::npos);
    EXPECT_FALSE(fs::exists(target));
}
