// velmora-cli as scripts use it, against real JACK ports: JSON Lines and raw
// bytes read back, filters, send --hex arriving byte-exact, devices by part
// of their name, exit statuses and control characters kept off the terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "jack_peer.h"
#include "late_cycles.h"
#include "support/child_process.h"
#include "support/eventually.h"

using namespace velmora::jacktest;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VELMORA_CLI;
using Bytes = std::vector<std::uint8_t>;

// Reads each JSON line back with Python (and jq where there is one), checks
// that the times never go back, and prints the fields of each object.
constexpr const char* kReadBack = R"(
import json, sys
last = -1
for line in open(sys.argv[1], encoding='utf-8'):
    o = json.loads(line)
    assert o['time'] >= last, (o['time'], last)
    last = o['time']
    name = o.get('note_name') or o.get('controller_name') or '-'
    print(o['kind'], o.get('channel', '-'), o['bytes'], o.get('value', '-'), name,
          o.get('length', '-'), o.get('details', '-'), sep='|')
)";

class ScriptingOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        std::string error;
        peer_ = JackPeer::Open("scripter", &error);
        ASSERT_TRUE(peer_) << error;
        std::string folder = ::testing::TempDir() + "velmora-scripting-XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        dir_ = folder;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // `velmora-cli monitor` with `args` on the peer's output: plays `probe`
    // until `seen` shows (the monitor's port connects as it opens), then the
    // messages, until `last` shows. What came after the last probe. A run in
    // which the server ran late (JACK drops that cycle's MIDI) is run again.
    std::string Monitor(std::vector<std::string> args, const Bytes& probe, const std::string& seen,
                        const std::vector<Bytes>& messages, const std::string& last) {
        args.insert(args.begin(), {kCli, "monitor", "-a", "jack", "-i", peer_->OutPort()});
        std::string out;
        RepeatedOnLateCycles(*peer_, [&](std::uint64_t lateBefore) {
            out = MonitorOnce(args, probe, seen, messages, last);
            return peer_->XRuns() == lateBefore;
        });
        return out;
    }

    std::string MonitorOnce(const std::vector<std::string>& args, const Bytes& probe,
                            const std::string& seen, const std::vector<Bytes>& messages,
                            const std::string& last) {
        ChildProcess monitor(args);
        bool connected = false;
        for (int i = 0; i < 100 && !connected; ++i) {
            EXPECT_TRUE(peer_->Send(probe));
            connected = monitor.WaitForOutput(seen, 100ms);
        }
        EXPECT_TRUE(connected) << monitor.Errors();
        for (const Bytes& m : messages) {
            EXPECT_TRUE(peer_->Send(m));
        }
        // Not there when a late cycle dropped it: the caller's checks say so.
        monitor.WaitForOutput(last);
        monitor.Signal(SIGTERM);
        EXPECT_EQ(monitor.Wait(), 0) << monitor.Errors();
        const std::string out = monitor.Output();
        const auto probeAt = out.rfind(seen);
        return probeAt == std::string::npos ? out : out.substr(out.find('\n', probeAt) + 1);
    }

    std::unique_ptr<JackPeer> peer_;
    fs::path dir_;
};

// `velmora-cli ARGS`: its exit status and standard error.
std::pair<int, std::string> RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), kCli);
    ChildProcess cli(args);
    const int status = cli.Wait();
    return {status, cli.Errors()};
}

} // namespace

TEST_F(ScriptingOnJack, JsonLinesReadBackWithTimesInOrder) {
    const std::string out = Monitor(
        {"--json", "--details"}, {0xF2, 0x10, 0x02}, "\"bytes\":\"F2 10 02\"",
        {{0x90, 0x3C, 0x64},
         {0xB2, 101, 0},
         {0xB2, 100, 0},
         {0xB2, 6, 12},
         {0xE2, 0x00, 0x60},
         {0xC5, 0x07},
         {0xF8},
         {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x16, 0x02, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF7},
         {0x80, 0x3C, 0x00}},
        "\"bytes\":\"80 3C 00\"");
    const fs::path file = dir_ / "monitor.jsonl";
    std::ofstream(file) << out;
    ChildProcess read({"/bin/sh", "-c",
                       "python3 -c \"$0\" \"$1\" && { ! command -v jq >/dev/null || jq -e . "
                       "\"$1\" >/dev/null; }",
                       kReadBack, file.string()});
    ASSERT_EQ(read.Wait(), 0) << read.Errors() << out;
    EXPECT_EQ(read.Output(),
              "note-on|1|90 3C 64|100|C3|-|-\n"
              "control-change|3|B2 65 00|0|RPN MSB|-|RPN parameter MSB 0, LSB to follow\n"
              "control-change|3|B2 64 00|0|RPN LSB|-|RPN 0/0 selected: pitch bend sensitivity\n"
              "control-change|3|B2 06 0C|12|Data Entry MSB|-|RPN 0/0 pitch bend sensitivity = "
              "12 semitones 0 cents\n"
              "pitch-bend|3|E2 00 60|12288|-|-|pitch bend +4096 (+6.00 semitones)\n"
              "program-change|6|C5 07|7|-|-|-\n"
              "sysex|-|F0 7E 10 06 02 41 16 02 02 00 00 01 00 00 F7|-|-|15|universal "
              "non-real-time to device 0x10: identity reply: Roland Corporation, family 0216, "
              "member 0002, version 00 01 00 00\n"
              "note-off|1|80 3C 00|0|C3|-|-\n");
}

TEST_F(ScriptingOnJack, RawBytesFilteredByKindAndChannelWithDeltaTimes) {
    const std::string out =
        Monitor({"--raw", "--timestamp", "delta", "--only", "note,PC,sysex,clock,common", "--hide",
                 "common", "--channel", "1,3-4"},
                {0x90, 0x00, 0x01}, "  90 00 01\n",
                {{0x91, 0x3C, 0x40},
                 {0xF8},
                 {0xB0, 0x07, 0x7F},
                 {0xC1, 0x05},
                 {0xC2, 0x05},
                 {0xFE},
                 {0xF2, 0x00, 0x00},
                 {0xF0, 0x7D, 0x01, 0xF7},
                 {0x80, 0x3C, 0x00}},
                "  80 3C 00\n");
    std::istringstream lines(out);
    std::string line, shown;
    while (std::getline(lines, line)) {
        const auto gap = line.find("  ", line.find_first_not_of(' '));
        ASSERT_NE(gap, std::string::npos) << line;
        const long delta = std::stol(line.substr(0, gap)); // never negative
        EXPECT_GE(delta, 0) << line;
        shown += line.substr(gap + 2) + "\n";
    }
    EXPECT_EQ(shown, "F8\nC2 05\nF0 7D 01 F7\n80 3C 00\n");
}

TEST_F(ScriptingOnJack, SendHexArrivesByteExactFromArgumentsAndStandardInput) {
    // By part of the port's name, in another case.
    const std::string part = "SCRIPTER:I";
    // A late cycle of the test server drops its MIDI: then the send goes again.
    std::string errors;
    const bool sent = RepeatedOnLateCycles(*peer_, [&](std::uint64_t late) {
        peer_->ClearReceived();
        ChildProcess send({kCli, "send", "-a", "jack", "-o", part, "--pause-ms", "5", "--hex",
                           "90 3C 64", "C0 05 00", "F0 7E 7F 06 01 F7", "f8", "F2 10 02"});
        EXPECT_EQ(send.Wait(), 0) << send.Errors();
        EXPECT_EQ(send.Output(), "");
        errors = send.Errors();
        return WaitForAllUnlessLate(*peer_, late, 5, [&] { return peer_->ReceivedCount(); });
    });
    ASSERT_TRUE(sent);
    EXPECT_NE(errors.find("Sent 5 messages (15 bytes) on 'scripter:in'"), std::string::npos)
        << errors;
    EXPECT_EQ(peer_->Received(), (std::vector<JackPeer::Event>{{0x90, 0x3C, 0x64},
                                                               {0xC0, 0x05},
                                                               {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                                                               {0xF8},
                                                               {0xF2, 0x10, 0x02}}));

    // decode's lines play back: the description column and comments are left.
    const bool played = RepeatedOnLateCycles(*peer_, [&](std::uint64_t late) {
        peer_->ClearReceived();
        ChildProcess lines({"/bin/sh", "-c",
                            "printf '90 3C 40    Note On    C3 (do3)\\n# a comment\\n\\nb0 07 7f\\n"
                            "90 3G\\nF8' | exec \"$0\" send -a jack -o \"$1\" --hex - -q",
                            kCli, part});
        EXPECT_EQ(lines.Wait(), 2); // the bad line is said, the others are sent
        EXPECT_EQ(lines.Errors(), "velmora-cli send: line 5: \"3G\" is not a hexadecimal byte\n");
        return WaitForAllUnlessLate(*peer_, late, 3, [&] { return peer_->ReceivedCount(); });
    });
    ASSERT_TRUE(played);
    EXPECT_EQ(peer_->Received(),
              (std::vector<JackPeer::Event>{{0x90, 0x3C, 0x40}, {0xB0, 0x07, 0x7F}, {0xF8}}));
}

// A monitored log plays back with its timing: each timed line that long
// after the first (or the one before, with delta), untimed lines at once.
TEST_F(ScriptingOnJack, SendHexPlaysTheMonitorsTimesBack) {
    const double period = 256.0 / peer_->SampleRate();
    const auto seconds = [&](std::uint32_t from, std::uint32_t to) {
        return (to - from) / double(peer_->SampleRate());
    };
    for (const bool delta : {false, true}) {
        const std::string log = delta ? "0  90 3C 40\n200  80 3C 00\nF8\n150  F0 7D 01 F7\n"
                                      : "     1000  90 3C 40\n     1200  80 3C 00\nF8\n"
                                        "     1350  F0 7D 01 F7\n";
        const std::vector<JackPeer::Event> expected = {
            {0x90, 0x3C, 0x40}, {0x80, 0x3C, 0x00}, {0xF8}, {0xF0, 0x7D, 0x01, 0xF7}};
        // A late cycle may drop or repeat MIDI: such a take goes again.
        const bool played = RepeatedOnLateCycles(*peer_, [&](std::uint64_t late) {
            peer_->ClearReceived();
            ChildProcess send({"/bin/sh", "-c",
                               "printf \"$2\" | exec \"$0\" send -a jack -o \"$1\" --hex - -q "
                               "--timestamp \"$3\"",
                               kCli, peer_->InPort(), log, delta ? "delta" : "abs"});
            EXPECT_EQ(send.Wait(), 0) << send.Errors();
            return WaitForAllUnlessLate(*peer_, late, 4, [&] { return peer_->ReceivedCount(); }) &&
                   peer_->WaitCycles(4) && peer_->Received() == expected;
        });
        ASSERT_TRUE(played) << ::testing::PrintToString(peer_->Received());
        const std::vector<std::uint32_t> f = peer_->ReceivedFrames();
        // Within the period the output waits for, and a wake-up's delay.
        EXPECT_NEAR(seconds(f[0], f[1]), 0.2, 2 * period);
        EXPECT_NEAR(seconds(f[1], f[2]), 0, 2 * period);
        EXPECT_NEAR(seconds(f[0], f[3]), 0.35, 2 * period);
    }
}

TEST_F(ScriptingOnJack, BadCommandLinesExitWith2AndNameTheArgument) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"monitor", "-a", "bogus", "-i", "0"}, "unknown MIDI service 'bogus'"},
        {{"list", "--colour"}, "unknown option '--colour'"},
        {{"list", "extra"}, "unexpected argument 'extra'"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"monitor", "-a", "jack"}, "--in N is required"},
        {{"monitor", "-a", "jack", "-i", "0", "--timestamp", "soon"}, "not 'soon'"},
        {{"monitor", "-a", "jack", "-i", "0", "--only", "note,noise"}, "'noise'"},
        {{"monitor", "-a", "jack", "-i", "0", "--channel", "17"}, "not '17'"},
        {{"monitor", "-a", "jack", "-i", "0", "--raw", "--json"}, "--raw and --json"},
        {{"send", "-a", "jack", "-o", "0", "--hex", "90 3C"}, "90 takes 3 bytes, 2 given"},
        {{"send", "-a", "jack", "-o", "0", "a.syx", "b.syx"}, "not 'b.syx'"},
        {{"monitor", "-a", "jack", "-i", "nobody:out"}, "no MIDI input named 'nobody:out'"},
    };
    for (const auto& [args, why] : cases) {
        const auto [status, errors] = RunCli(args);
        EXPECT_EQ(status, 2) << args.front() << " " << errors;
        EXPECT_NE(errors.find(why), std::string::npos) << errors;
    }
    ChildProcess version({kCli, "--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_TRUE(version.Output().starts_with("velmora-cli ")) << version.Output();

    // A part of two names is not enough: both are named.
    auto twin = JackPeer::Open("scripter twin");
    ASSERT_TRUE(twin);
    const auto [status, errors] = RunCli({"send", "-a", "jack", "-o", "Scripter", "--hex", "F8"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(errors.find("'Scripter' is part of the names of 2 MIDI outputs:\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("\n  " + peer_->InPort() + "\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("\n  " + twin->InPort() + "\n"), std::string::npos) << errors;
}

TEST_F(ScriptingOnJack, ControlCharactersNeverReachTheTerminal) {
    // A client named to retitle the terminal and clear the screen.
    auto evil = JackPeer::Open("evil\x1b]0;pwned\x07\x1b[2J");
    ASSERT_TRUE(evil);
    ChildProcess list({kCli, "list", "-a", "jack"});
    ASSERT_EQ(list.Wait(), 0);
    EXPECT_EQ(list.Output().find('\x1b'), std::string::npos);
    EXPECT_NE(list.Output().find("evil\\x1B]0;pwned\\x07\\x1B[2J:out"), std::string::npos)
        << list.Output();

    // Its name shown as the recording waits, by part of the name.
    ChildProcess record({kCli, "record", "-a", "jack", "-i", "PWNED", "-"});
    velmora::testing::Eventually([&] {
        return record.Errors().find("Waiting for Sysex") != std::string::npos &&
               record.Errors().find("...\n") != std::string::npos;
    });
    record.Signal(SIGINT);
    EXPECT_EQ(record.Wait(), 1); // nothing arrived
    EXPECT_NE(record.Errors().find("Waiting for Sysex on 'evil\\x1B]0;pwned\\x07\\x1B[2J:out'..."),
              std::string::npos)
        << record.Errors();

    // What the user typed, echoed in a refusal.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"monitor", "-a", "jack", "-i", "\x1b[H"},
             {"send", "-a", "jack", "-o", "0", "--hex", "\x1b]0;x\x07"},
             {"monitor", "-a", "jack", "-i", "0", "--only",
              "\x9b"
              "2J"},
             {"\x1b[2J"}}) {
        const auto [status, errors] = RunCli(args);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(errors.find_first_of("\x1b\x07\x9b"), std::string::npos) << errors;
        EXPECT_NE(errors.find("\\x"), std::string::npos) << errors;
    }
}
