// velmora-cli monitor --lint on a real JACK port: warnings on standard error.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "jack_peer.h"
#include "support/child_process.h"

using velmora::jacktest::JackPeer;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;

TEST(LintOnJack, WarnsAboutDataEntryWithoutAParameterAndAStuckNoteAtTheEnd) {
    std::string error;
    auto keys = JackPeer::Open("lint-keys", &error);
    ASSERT_TRUE(keys) << error;
    ChildProcess monitor(
        {VELMORA_CLI, "monitor", "--api", "jack", "--lint", "--raw", "-i", keys->OutPort()});
    // Play until the monitor shows what comes: its port connects in its own time.
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(keys->Send({0x90, 0x3C, 0x40}));
        connected = monitor.WaitForOutput("90 3C 40", 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();
    bool shown = false; // a cycle the server ran late loses its MIDI: send again
    for (int i = 0; i < 100 && !shown; ++i) {
        ASSERT_TRUE(keys->Send({0xB4, 0x06, 0x02}));
        shown = monitor.WaitForOutput("B4 06 02", 100ms);
    }
    ASSERT_TRUE(shown) << monitor.Errors();
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    const std::string errors = monitor.Errors();
    EXPECT_NE(errors.find("velmora-cli monitor: warning: data entry (controller 6) on channel 5 "
                          "without an RPN or NRPN selected\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("velmora-cli monitor: warning: 1 note still on when the input closed: "
                          "60 on channel 1\n"),
              std::string::npos)
        << errors;
}
