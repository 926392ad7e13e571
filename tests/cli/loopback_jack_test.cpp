// velmora-cli loopback through a JACK peer that echoes what it gets, whole
// or with every 10th message left out.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "jack_peer.h"
#include "support/child_process.h"

using velmora::jacktest::JackPeer;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;

namespace {

const std::string kCli = VELMORA_CLI;

struct LoopRun {
    int status = -1;
    std::string report;
};

// Runs loopback through `peer` with `extra` options; a take during which
// the server ran late (it drops or repeats MIDI then) is repeated.
LoopRun Loop(JackPeer& peer, std::vector<std::string> extra) {
    LoopRun run;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto late = peer.XRuns();
        std::vector<std::string> argv = {kCli,           "loopback",  "-q",          "--api",
                                         "jack",         "-o",        peer.InPort(), "-i",
                                         peer.OutPort(), "--wait-ms", "500"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ChildProcess loopback(argv);
        run.status = loopback.Wait(60s);
        run.report = loopback.Output() + loopback.Errors();
        if (peer.XRuns() == late) {
            break;
        }
    }
    return run;
}

} // namespace

TEST(LoopbackOnJack, NothingLostThroughAnEchoAndATenthThroughALossyOne) {
    std::string error;
    auto cable = JackPeer::Open("loop-cable", &error);
    ASSERT_TRUE(cable) << error;
    cable->SetEcho(true);

    const LoopRun clean = Loop(*cable, {"--count", "200", "--rate", "2000"});
    EXPECT_EQ(clean.status, 0) << clean.report;
    std::printf("%s", clean.report.c_str()); // the figures, for the log
    EXPECT_NE(clean.report.find("sent: 200\nreceived: 200\nlost: 0\nduplicated: 0\n"
                                "reordered: 0\ndamaged: 0\nlatency: min "),
              std::string::npos)
        << clean.report;

    // Dumps of 10,000 bytes come back byte for byte.
    const LoopRun dumps = Loop(*cable, {"--sysex", "10000", "--count", "5", "--rate", "50"});
    EXPECT_EQ(dumps.status, 0) << dumps.report;
    EXPECT_NE(dumps.report.find("received: 5\nlost: 0\n"), std::string::npos) << dumps.report;

    cable->SetEchoDropEvery(10);
    const LoopRun lossy = Loop(*cable, {"--count", "200", "--rate", "2000"});
    EXPECT_EQ(lossy.status, 1) << lossy.report;
    EXPECT_NE(lossy.report.find("sent: 200\nreceived: 180\nlost: 20\nduplicated: 0\n"),
              std::string::npos)
        << lossy.report;
}
