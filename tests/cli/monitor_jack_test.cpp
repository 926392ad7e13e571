// velmora-cli list and monitor against real JACK ports: a peer client plays
// into the monitor and listens to its thru.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "jack_peer.h"
#include "late_cycles.h"
#include "own_jack_server.h"
#include "support/child_process.h"
#include "support/device_listing.h"
#include "support/eventually.h"
#include "support/sysex_dump.h"

using velmora::jacktest::JackPeer;
using velmora::jacktest::RepeatedOnLateCycles;
using velmora::jacktest::WaitForAllUnlessLate;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;

namespace {

const std::string kCli = VELMORA_CLI;

using velmora::testing::DeviceNumber;

// True when the line holding `text` starts with a column of milliseconds.
bool HasTimeColumn(const std::string& out, const std::string& text) {
    const auto at = out.find(text);
    if (at == std::string::npos) {
        return false;
    }
    const auto lineStart = out.rfind('\n', at) + 1; // npos + 1 == 0
    const std::string column = out.substr(lineStart, at - lineStart);
    return column.size() > 2 && column.ends_with("  ") &&
           column.find_first_of("0123456789") != std::string::npos &&
           column.find_first_not_of(" 0123456789") == std::string::npos;
}

class MonitorOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        peer_ = JackPeer::Open("keys", &error);
        ASSERT_TRUE(peer_) << error;
        ChildProcess list({kCli, "list", "--api", "jack"});
        ASSERT_EQ(list.Wait(), 0) << list.Errors();
        listing_ = list.Output();
        in_ = DeviceNumber(listing_, "Inputs", peer_->OutPort());
        out_ = DeviceNumber(listing_, "Outputs", peer_->InPort());
        ASSERT_GE(in_, 0) << listing_;
        ASSERT_GE(out_, 0) << listing_;
    }

    std::unique_ptr<JackPeer> peer_;
    std::string listing_;
    int in_ = -1, out_ = -1;
};

// A folder of its own holding many.syx, 100 sysex messages of 4 KB, for a
// send that lasts; "" when it could not be written.
std::string HundredDumpsFolder(const std::string& name) {
    std::string folder = ::testing::TempDir() + name + "-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        return {};
    }
    std::FILE* out = std::fopen((folder + "/many.syx").c_str(), "wb");
    if (out == nullptr) {
        return {};
    }
    for (int i = 0; i < 100; ++i) {
        const auto m = velmora::testing::SysexDump(4096, static_cast<std::uint8_t>(i));
        std::fwrite(m.data(), 1, m.size(), out);
    }
    return std::fclose(out) == 0 ? folder : std::string();
}

} // namespace

TEST_F(MonitorOnJack, ListShowsThePeersPorts) {
    EXPECT_NE(listing_.find("MIDI service: jack"), std::string::npos) << listing_;
}

TEST_F(MonitorOnJack, ShowsMessagesAndBlocksAndPassesThruOnChannel10) {
    // By name: other tests' clients come and go on the same server, which
    // renumbers the devices between the listing and the start.
    ChildProcess monitor({kCli, "monitor", "--api", "jack", "--in", peer_->OutPort(), "--out",
                          peer_->InPort(), "--thru-channel", "10"});
    // The monitor's ports connect to the peer when they open, its input and
    // its output each in its own time; until then what the peer plays goes
    // nowhere, so play until the monitor shows it and passes it back.
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(peer_->Send({0xF2, 0x10, 0x02}));
        connected = monitor.WaitForOutput("Song Position", 100ms) && peer_->WaitForEvents(1, 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();

    const std::string noteLine = "93 3C 40    Note On          C3 (do3)    Velocity: 64  "
                                 "Channel 4 \n";
    // What comes back after the Song Positions still on their way.
    const auto thru = [&] {
        std::vector<JackPeer::Event> events = peer_->Received();
        std::erase(events, JackPeer::Event{0xF2, 0x10, 0x02});
        return events;
    };
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t late) {
        peer_->ClearReceived();
        peer_->Send({0x93, 0x3C, 0x40});
        peer_->Send({0xF8});
        return WaitForAllUnlessLate(*peer_, late, 1, [&] { return thru().size(); }) &&
               monitor.WaitForOutput(noteLine);
    }));
    EXPECT_EQ(thru().at(0), (JackPeer::Event{0x99, 0x3C, 0x40}));

    const std::vector<std::uint8_t> dump = velmora::testing::SysexDump(10000);
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t) {
        peer_->Send(dump);
        return monitor.WaitForOutput("Block #3 (1808 bytes)\n") && monitor.WaitForOutput(" F7 \n");
    }));

    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    const std::string out = monitor.Output();
    EXPECT_NE(out.find("Block #1 (4096 bytes)\nF0 01 02 03 "), std::string::npos);
    EXPECT_NE(out.find("Block #2 (4096 bytes)\n"), std::string::npos);
    EXPECT_EQ(out.find("Clock"), std::string::npos); // the clock is never shown
    // Each shown message has its time column in front of the history line.
    EXPECT_TRUE(HasTimeColumn(out, "93 3C 40    Note On"));
}

TEST_F(MonitorOnJack, ADeviceThatDoesNotExistIsRefused) {
    ChildProcess monitor({kCli, "monitor", "--api", "jack", "--in", "999"});
    EXPECT_EQ(monitor.Wait(), 2);
    EXPECT_NE(monitor.Errors().find("there is no MIDI input 999"), std::string::npos);
}

TEST_F(MonitorOnJack, DetailsAssembleSequencesAndNameSysex) {
    ChildProcess monitor({kCli, "monitor", "--api", "jack", "--in", peer_->OutPort(), "--details"});
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(peer_->Send({0xF2, 0x10, 0x02}));
        connected = monitor.WaitForOutput(
            "song position 272 sixteenths: bar 18, beat 1 (4/4 assumed)\n", 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();

    // Played again when the server ran late and dropped some of it.
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t) {
        for (const std::vector<std::uint8_t>& m :
             std::vector<std::vector<std::uint8_t>>{{0xB2, 101, 0},
                                                    {0xB2, 100, 0},
                                                    {0xB2, 6, 12},
                                                    {0xE2, 0x00, 0x60},
                                                    {0xF8},
                                                    {0xF8}}) {
            peer_->Send(m);
        }
        return monitor.WaitForOutput("Channel 3   RPN 0/0 pitch bend sensitivity = 12 "
                                     "semitones 0 cents\n") &&
               monitor.WaitForOutput("Channel 3   pitch bend +4096 (+6.00 semitones)\n");
    }));
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t) {
        peer_->Send({0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x16, 0x02, 0x02, 0x00, 0x00, 0x01, 0x00,
                     0x00, 0xF7});
        return monitor.WaitForOutput(
            "Block #1 (15 bytes)  universal non-real-time to device 0x10: identity reply: Roland "
            "Corporation, family 0216, member 0002, version 00 01 00 00\nF0 7E 10 06 02 ");
    }));

    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    EXPECT_EQ(monitor.Output().find("Clock"), std::string::npos); // counted, never a row
}

// A loopback client (as ALSA's Midi Through is) as both input and output:
// one note would circle forever. The monitor breaks the loop within a few
// passes, says so, and monitors on.
TEST_F(MonitorOnJack, AFeedbackLoopIsBrokenAndSaidOnStandardError) {
    std::string error;
    auto looper = JackPeer::Open("looper", &error);
    ASSERT_TRUE(looper) << error;
    looper->SetEcho(true);
    ASSERT_TRUE(peer_->Connect(peer_->OutPort(), looper->InPort()));
    ChildProcess monitor(
        {kCli, "monitor", "--api", "jack", "--in", looper->OutPort(), "--out", looper->InPort()});
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) { // until the monitor's input is connected
        ASSERT_TRUE(peer_->Send({0xF2, 0x10, 0x02}));
        connected = monitor.WaitForOutput("Song Position", 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();
    std::string thruPort;
    for (int i = 0; i < 100 && thruPort.empty(); ++i) {
        for (const std::string& port : looper->Ports("^Velmora(-[0-9]+)?:out$")) {
            if (looper->WaitConnected(port, looper->InPort(), 100ms)) {
                thruPort = port;
            }
        }
    }
    ASSERT_FALSE(thruPort.empty()) << monitor.Errors();

    // A note goes round and round; a late cycle of the server that drops it
    // ends its round early, and another note starts a new one.
    std::uint8_t note = 0x3B;
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t) {
        peer_->Send({0x90, ++note, 0x64});
        return velmora::testing::Eventually(
            [&] { return monitor.Errors().find("feedback loop") != std::string::npos; }, 10s);
    })) << monitor.Errors();
    // Thru is off now: a new note is shown once, and only the peer's copy
    // reaches the loopback (a second note, shown after it, is the sentinel:
    // a thru copy of the first would have come round before it).
    // The count is taken once the first has come round: a copy that thru
    // passed on just before the probe came back has arrived by then.
    ASSERT_TRUE(peer_->Send({0x90, 0x40, 0x01}));
    ASSERT_TRUE(monitor.WaitForOutput("90 40 01"));
    const std::size_t arrived = looper->ReceivedCount();
    ASSERT_TRUE(peer_->Send({0x90, 0x41, 0x01}));
    ASSERT_TRUE(monitor.WaitForOutput("90 41 01"));
    EXPECT_EQ(looper->ReceivedCount(), arrived + 1) << monitor.Output();
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    const std::string out = monitor.Output();
    EXPECT_EQ(out.find("90 40 01"), out.rfind("90 40 01"));
    for (std::uint8_t n = 0x3C; n <= note; ++n) {
        char text[16];
        std::snprintf(text, sizeof text, "90 %02X 64", n);
        std::size_t passes = 0;
        for (auto at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) {
            ++passes;
        }
        EXPECT_LE(passes, 20u) << out;
    }

    // With --no-loop-guard the user keeps the loop: it goes round past 20
    // passes, nothing is added to it and nothing is said.
    ChildProcess unguarded({kCli, "monitor", "--api", "jack", "--in", looper->OutPort(), "--out",
                            looper->InPort(), "--no-loop-guard"});
    connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(peer_->Send({0xF2, 0x10, 0x03}));
        connected = unguarded.WaitForOutput("Song Position", 100ms);
    }
    ASSERT_TRUE(connected) << unguarded.Errors();
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t) {
        looper->ClearReceived();
        peer_->Send({0x90, 0x42, 0x01});
        return velmora::testing::Eventually(
            [&] {
                const auto events = looper->Received();
                return std::count(events.begin(), events.end(), JackPeer::Event{0x90, 0x42, 0x01}) >
                       30;
            },
            10s);
    })) << unguarded.Errors();
    unguarded.Signal(SIGINT);
    EXPECT_EQ(unguarded.Wait(), 0) << unguarded.Errors();
    for (const JackPeer::Event& event : looper->Received()) {
        EXPECT_NE(event.front(), 0xF0);
    }
    EXPECT_EQ(unguarded.Errors().find("feedback loop"), std::string::npos);
}

// A repeating pattern with no way back (a hi-hat played into the monitor,
// thru to a synth whose output goes nowhere): the synth gets what was
// played and not one byte more, however alike the messages come.
TEST_F(MonitorOnJack, ARepeatingPatternWithNoWayBackGetsNothingAdded) {
    std::string error;
    auto synth = JackPeer::Open("synth", &error);
    ASSERT_TRUE(synth) << error;
    ChildProcess monitor(
        {kCli, "monitor", "--api", "jack", "--in", peer_->OutPort(), "--out", synth->InPort()});
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(peer_->Send({0xF2, 0x10, 0x02}));
        connected = monitor.WaitForOutput("Song Position", 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();
    bool thruConnected = false;
    for (int i = 0; i < 100 && !thruConnected; ++i) {
        for (const std::string& port : synth->Ports("^Velmora(-[0-9]+)?:out$")) {
            thruConnected = thruConnected || synth->WaitConnected(port, synth->InPort(), 100ms);
        }
    }
    ASSERT_TRUE(thruConnected) << monitor.Errors();

    std::uint8_t sentinel = 0;
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t late) {
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(peer_->Send({0x99, 0x2A, 0x64}));
            EXPECT_TRUE(peer_->Send({0x89, 0x2A, 0x00}));
        }
        const JackPeer::Event last{0x90, 0x7F, ++sentinel};
        EXPECT_TRUE(peer_->Send(last));
        return WaitForAllUnlessLate(*peer_, late, 1, [&] {
            const auto events = synth->Received();
            return static_cast<std::size_t>(std::count(events.begin(), events.end(), last));
        });
    })) << monitor.Errors();
    const auto events = synth->Received();
    EXPECT_GE(events.size(), 400u);
    for (const JackPeer::Event& event : events) {
        ASSERT_FALSE(event.empty());
        EXPECT_NE(event.front(), 0xF0) << "sent to the synth by nobody";
    }
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    EXPECT_EQ(monitor.Errors().find("feedback loop"), std::string::npos);
}

// A running monitor, a waiting record and a send under way on the peer
// "keys"; `stop` takes the server away (what it returns undoes that when it
// goes). Each says so within `reportWithin` and ends with a failure status,
// instead of running on or waiting forever; send never says "completed".
void ExpectAllEndWhenTheServerGoes(
    std::chrono::milliseconds reportWithin,
    const std::function<std::shared_ptr<void>(std::unique_ptr<JackPeer>&)>& stop) {
    std::string error;
    auto peer = JackPeer::Open("keys", &error);
    ASSERT_TRUE(peer) << error;
    ChildProcess monitor({kCli, "monitor", "--api", "jack", "--in", peer->OutPort()});
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        ASSERT_TRUE(peer->Send({0xF2, 0x10, 0x02}));
        connected = monitor.WaitForOutput("Song Position", 100ms);
    }
    ASSERT_TRUE(connected) << monitor.Errors();
    ChildProcess record({kCli, "record", "--api", "jack", "--in", peer->OutPort(), "-"});
    ASSERT_TRUE(velmora::testing::Eventually(
        [&] { return record.Errors().find("Waiting for Sysex") != std::string::npos; }, 30s));
    const std::string folder = HundredDumpsFolder("velmora-gone");
    ASSERT_FALSE(folder.empty());
    const std::string file = folder + "/many.syx";
    ChildProcess send(
        {kCli, "send", "--api", "jack", "--out", peer->InPort(), file, "--pause-ms", "50"});
    ASSERT_TRUE(peer->WaitForEvents(2, 30s)) << send.Errors();

    const std::shared_ptr<void> undo = stop(peer);
    const auto reportBy = std::chrono::steady_clock::now() + reportWithin;
    const auto reports = [&](ChildProcess& child, std::initializer_list<const char*> texts) {
        return velmora::testing::Eventually(
            [&] {
                const std::string errors = child.Errors();
                return std::any_of(texts.begin(), texts.end(), [&](const char* text) {
                    return errors.find(text) != std::string::npos;
                });
            },
            std::chrono::duration_cast<std::chrono::milliseconds>(
                reportBy - std::chrono::steady_clock::now()));
    };
    EXPECT_TRUE(reports(monitor, {"MIDI service (jack) stopped"})) << monitor.Errors();
    // The device leaves first, or the service stops first: either ends it.
    EXPECT_TRUE(reports(record, {"MIDI service (jack) stopped", "'keys:out' left"}))
        << record.Errors();
    EXPECT_TRUE(reports(send, {"bytes went out"})) << send.Errors();
    EXPECT_EQ(monitor.Wait(20s), 1) << monitor.Errors();
    EXPECT_EQ(record.Wait(20s), 1) << record.Errors();
    EXPECT_EQ(send.Wait(20s), 1) << send.Errors();
    EXPECT_EQ(send.Errors().find("completed"), std::string::npos) << send.Errors();
    EXPECT_EQ(send.Errors().find("whole sysex messages only"), std::string::npos) << send.Errors();
    std::filesystem::remove_all(folder);
}

// A jackd or a PipeWire that stops is reported within 2 s.
TEST(MonitorServerGone, TheMonitorRecordAndSendEndWithAMessage) {
    ::setenv("LC_ALL", "C", 1);
    velmora::jacktest::OwnJackServer server("monitor-gone");
    ASSERT_TRUE(server.Started());
    ExpectAllEndWhenTheServerGoes(2s, [&](std::unique_ptr<JackPeer>& peer) {
        peer.reset();
        EXPECT_TRUE(server.Kill());
        return std::shared_ptr<void>();
    });
}

// A server that answers nobody any more (here: jackd frozen with SIGSTOP,
// which tells its clients nothing) counts as stopped once a call to it has
// waited its bound.
TEST(MonitorServerGone, AFrozenServerEndsThemAsAStoppedOne) {
    VELMORA_NEEDS_JACKD("a frozen PipeWire's libjack answers lists and lookups by itself");
    ::setenv("LC_ALL", "C", 1);
    velmora::jacktest::OwnJackServer server("monitor-frozen");
    ASSERT_TRUE(server.Started());
    // A second without cycles, then a call that waits its bound (4 s).
    ExpectAllEndWhenTheServerGoes(20s, [&](std::unique_ptr<JackPeer>&) {
        std::shared_ptr<void> frozen = server.Freeze();
        EXPECT_TRUE(*std::static_pointer_cast<velmora::jacktest::OwnJackServer::Frozen>(frozen));
        return frozen; // continued before the peer closes
    });
}

// A device that leaves: monitor says so and takes it up again when a device
// of the same name comes back; record says so and fails; send says how much
// went out before and fails, never "completed".
TEST(DeviceThatLeaves, MonitorWaitsForItRecordAndSendEndWithWhatWentOut) {
    ::setenv("LC_ALL", "C", 1);
    std::string error;
    auto leaver = JackPeer::Open("leaver", &error);
    ASSERT_TRUE(leaver) << error;
    const std::string name = leaver->ClientName();

    ChildProcess monitor({kCli, "monitor", "--api", "jack", "--in", leaver->OutPort()});
    ChildProcess record({kCli, "record", "--api", "jack", "--in", leaver->OutPort(), "-"});
    // Until its port is connected what the peer plays goes nowhere: play
    // until the monitor shows it; the recorder waits once it says so.
    const auto shows = [&](JackPeer& peer, const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            if (!peer.Send({0xF2, 0x10, 0x02})) {
                return false;
            }
            if (monitor.WaitForOutput(text, 100ms)) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(shows(*leaver, "Song Position")) << monitor.Errors();
    ASSERT_TRUE(velmora::testing::Eventually(
        [&] { return record.Errors().find("Waiting for Sysex") != std::string::npos; }, 30s));

    // The send: 100 messages of 4 KB, 50 ms apart; the peer leaves after 10.
    const std::string folder = HundredDumpsFolder("velmora-leave");
    ASSERT_FALSE(folder.empty());
    const std::string file = folder + "/many.syx";
    ChildProcess send(
        {kCli, "send", "--api", "jack", "--out", leaver->InPort(), file, "--pause-ms", "50"});
    ASSERT_TRUE(leaver->WaitForEvents(10, 30s)) << send.Errors();
    leaver.reset();

    EXPECT_EQ(send.Wait(30s), 1);
    EXPECT_NE(send.Errors().find("velmora-cli send: '" + name + ":in' left during the send; "),
              std::string::npos)
        << send.Errors();
    EXPECT_EQ(send.Errors().find("completed"), std::string::npos) << send.Errors();
    EXPECT_EQ(record.Wait(30s), 1);
    EXPECT_NE(record.Errors().find("velmora-cli record: '" + name + ":out' left\n"),
              std::string::npos)
        << record.Errors();
    ASSERT_TRUE(velmora::testing::Eventually(
        [&] { return monitor.Errors().find("left; monitoring goes on") != std::string::npos; },
        30s))
        << monitor.Errors();

    // The same name again: taken up, and shown.
    auto back = JackPeer::Open("leaver", &error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->ClientName(), name);
    ASSERT_TRUE(velmora::testing::Eventually(
        [&] { return monitor.Errors().find("is back; monitoring it") != std::string::npos; }, 30s))
        << monitor.Errors();
    const std::size_t before = monitor.Output().size();
    ASSERT_TRUE(velmora::testing::Eventually(
        [&] {
            back->Send({0xF2, 0x10, 0x02});
            return monitor.Output().find("Song Position", before) != std::string::npos;
        },
        30s, 100ms));
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
    std::filesystem::remove_all(folder);
}

namespace {

// Lines of `out` (whole lines only).
std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line) && !in.eof();) {
        lines.push_back(line);
    }
    return lines;
}

// Waits until `count` of Velmora's input ports take what `peer` plays.
bool WaitVelmoraListening(JackPeer& peer, std::size_t count) {
    for (int i = 0; i < 200; ++i) {
        std::size_t connected = 0;
        for (const std::string& port : peer.Ports("^Velmora[^:]*:in")) {
            connected += peer.WaitConnected(peer.OutPort(), port, 20ms) ? 1 : 0;
        }
        if (connected >= count) {
            return true;
        }
        peer.WaitCycles(4);
    }
    return false;
}

} // namespace

TEST(MonitorSeveralInputs, EveryMessageOnceWithItsSourceInOrderPerSource) {
    std::string error;
    auto a = JackPeer::Open("mon-a", &error);
    ASSERT_TRUE(a) << error;
    auto b = JackPeer::Open("mon-b", &error);
    ASSERT_TRUE(b) << error;
    const std::vector<std::string> from = {a->OutPort(), b->OutPort()};
    constexpr int kEach = 40;
    // What each source played, as the raw output shows it.
    std::vector<std::vector<std::string>> played(2);
    for (int i = 0; i < kEach; ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "90 %02X 01", i);
        played[0].push_back(hex);
        std::snprintf(hex, sizeof hex, "B1 %02X 02", i);
        played[1].push_back(hex);
        if (i == kEach / 2) {
            played[1].push_back("F0 7D 05 F7");
        }
    }
    const std::size_t total = played[0].size() + played[1].size();
    bool whole = false;
    for (int attempt = 0; attempt < 5 && !whole; ++attempt) {
        ChildProcess raw({kCli, "monitor", "--api", "jack", "--raw", "--timestamp", "none", "-i",
                          from[0], "-i", from[1]});
        ChildProcess json(
            {kCli, "monitor", "--api", "jack", "--json", "-i", from[0], "--in", from[1]});
        ASSERT_TRUE(WaitVelmoraListening(*a, 2)) << raw.Errors() << json.Errors();
        ASSERT_TRUE(WaitVelmoraListening(*b, 2)) << raw.Errors() << json.Errors();
        const auto late = a->XRuns() + b->XRuns();
        const auto lateA = a->XRuns();
        for (int i = 0; i < kEach; ++i) {
            ASSERT_TRUE(a->Send({0x90, static_cast<std::uint8_t>(i), 0x01}));
            ASSERT_TRUE(b->Send({0xB1, static_cast<std::uint8_t>(i), 0x02}));
            if (i == kEach / 2) {
                ASSERT_TRUE(b->Send({0xF0, 0x7D, 0x05, 0xF7}));
            }
        }
        ASSERT_TRUE(a->WaitSent() && b->WaitSent());
        const bool all = WaitForAllUnlessLate(*a, lateA, total, [&] {
            return std::min(Lines(raw.Output()).size(), Lines(json.Output()).size());
        });
        raw.Signal(SIGINT);
        json.Signal(SIGINT);
        ASSERT_EQ(raw.Wait(), 0) << raw.Errors();
        ASSERT_EQ(json.Wait(), 0) << json.Errors();
        if (!all && a->XRuns() + b->XRuns() != late) {
            continue;
        }
        whole = true;
        std::vector<std::vector<std::string>> shown(2);
        for (const std::string& line : Lines(raw.Output())) {
            for (std::size_t s = 0; s < 2; ++s) {
                if (line.starts_with(from[s] + "  ")) {
                    shown[s].push_back(line.substr(from[s].size() + 2));
                }
            }
        }
        EXPECT_EQ(shown, played) << raw.Output();
        EXPECT_EQ(Lines(raw.Output()).size(), total);
        std::vector<std::size_t> counts(2);
        for (const std::string& line : Lines(json.Output())) {
            for (std::size_t s = 0; s < 2; ++s) {
                counts[s] += line.starts_with("{\"source\":\"" + from[s] + "\",") ? 1 : 0;
            }
        }
        EXPECT_EQ(counts, (std::vector<std::size_t>{played[0].size(), played[1].size()}))
            << json.Output();
        EXPECT_NE(json.Output().find("\"source\":\"" + from[1] + "\",\"time\""), std::string::npos);
    }
    EXPECT_TRUE(whole) << "the server ran late in every take";
}
