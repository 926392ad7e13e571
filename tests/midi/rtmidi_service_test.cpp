// The RtMidi service against real JACK MIDI ports: a JackPeer plays into
// Velmora's input and listens to its outputs. Runs under the ctest fixture
// "jack", which starts a server of its own.
#include "midi/rtmidi/rtmidi_service.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "jack_peer.h"
#include "late_cycles.h"
#include "own_jack_server.h"
#include "support/eventually.h"
#include "support/scoped_environment.h"
#include "support/sysex_dump.h"
#include "support/watchdog.h"

namespace velmora::midi {
namespace {

using namespace std::chrono_literals;
using jacktest::JackPeer;
using jacktest::RepeatedOnLateCycles;
using jacktest::WaitForAllUnlessLate;
using Bytes = std::vector<std::uint8_t>;
using velmora::testing::Eventually;
using velmora::testing::ScopedEnvironment;
using velmora::testing::UnevenSysexDump;
using velmora::testing::Watchdog;

bool AlsaSequencerPresent() {
    return access("/dev/snd/seq", F_OK) == 0;
}

// What the input callback saw, read by the test thread.
class Recorder {
  public:
    void Record(const InputEvent& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        if (event.code == InputMessage::LongData) {
            blocks_.emplace_back(event.header->lpData,
                                 event.header->lpData + event.header->dwBytesRecorded);
        }
    }
    std::vector<InputEvent> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<Bytes> Blocks() {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        blocks_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<InputEvent> events_;
    std::vector<Bytes> blocks_;
};

class RtMidiJackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (velmora::jacktest::OnPipeWire()) {
            // Kept as a fallback only: RtMidi's queue writes more a cycle than
            // PipeWire carries, which drops whole cycles. Velmora's own JACK
            // service is the one run and tested there.
            GTEST_SKIP() << "RtMidi's JACK back end loses events on PipeWire";
        }
        const std::string suffix = std::to_string(getpid());
        std::string error;
        peer_ = JackPeer::Open("peer-" + suffix, &error);
        ASSERT_NE(peer_, nullptr) << error;
        clientBase_ = "vt-" + suffix;
        service_ = CreateRtMidiService("jack", &error, clientBase_);
        ASSERT_NE(service_, nullptr) << error;
    }

    int FindIn(const std::string& name) {
        for (int i = 0; i < service_->InDeviceCount(); ++i) {
            if (service_->InDeviceName(i) == name) {
                return i;
            }
        }
        return -1;
    }
    int FindOut(const std::string& name) {
        for (int i = 0; i < service_->OutDeviceCount(); ++i) {
            if (service_->OutDeviceName(i) == name) {
                return i;
            }
        }
        return -1;
    }

    // An input port on the peer's output, started, recording into recorder_.
    std::unique_ptr<MidiInPort> OpenPeerInput(InputCallback callback = {}) {
        const int device = FindIn(peer_->OutPort());
        EXPECT_GE(device, 0);
        if (!callback) {
            callback = [this](const InputEvent& event) { recorder_.Record(event); };
        }
        auto port = service_->OpenIn(device, std::move(callback));
        EXPECT_NE(port, nullptr);
        if (port) {
            EXPECT_TRUE(peer_->WaitConnected(peer_->OutPort(), clientBase_ + " in:in"));
            EXPECT_TRUE(port->Start());
        }
        return port;
    }

    // An output port on the peer's input; `ours` names the port it gets.
    std::unique_ptr<MidiOutPort> OpenPeerOutput(const std::string& ours = " out:out") {
        const int device = FindOut(peer_->InPort());
        EXPECT_GE(device, 0);
        auto port = service_->OpenOut(device);
        EXPECT_NE(port, nullptr);
        if (port) {
            EXPECT_TRUE(peer_->WaitConnected(clientBase_ + ours, peer_->InPort()));
        }
        return port;
    }

    std::unique_ptr<JackPeer> peer_;
    std::string clientBase_;
    std::unique_ptr<MidiService> service_;
    Recorder recorder_;
};

TEST_F(RtMidiJackTest, ListsThePeerPortsAndNamesItsOwnPortsPredictably) {
    EXPECT_EQ(service_->Name(), "jack");
    EXPECT_GE(FindIn(peer_->OutPort()), 0);
    EXPECT_GE(FindOut(peer_->InPort()), 0);
    EXPECT_EQ(service_->InDeviceName(-1), std::nullopt);
    EXPECT_EQ(service_->OutDeviceName(service_->OutDeviceCount()), std::nullopt);
    EXPECT_EQ(service_->OpenOut(service_->OutDeviceCount()), nullptr);
    EXPECT_EQ(service_->OpenIn(-1, [](const InputEvent&) {}), nullptr);

    auto in = OpenPeerInput();
    auto out1 = OpenPeerOutput();
    auto out2 = OpenPeerOutput(" out 2:out 2");
    ASSERT_TRUE(in && out1 && out2);
    const std::string in1 = clientBase_ + " in:in";
    const std::string outA = clientBase_ + " out:out";
    const std::string outB = clientBase_ + " out 2:out 2";
    // Other programs see them under these names; the service's own lists
    // never offer them (thru into itself would be a loop).
    auto seen = [&](const std::string& name) { return !peer_->Ports("^" + name + "$").empty(); };
    EXPECT_TRUE(seen(in1) && seen(outA) && seen(outB));
    EXPECT_LT(FindOut(in1), 0);
    EXPECT_LT(FindIn(outA), 0);
    EXPECT_LT(FindIn(outB), 0);
    EXPECT_EQ(service_->OpenIn(outA, [](const InputEvent&) {}), nullptr);
    EXPECT_TRUE(IsOwnPortName(outB + "-01:out 2", clientBase_) &&
                IsOwnPortName(in1 + " 130:0", clientBase_));
    EXPECT_FALSE(IsOwnPortName(clientBase_ + " input:x", clientBase_));
    // Own input ports: the window's of any Velmora, and any while it is open.
    const std::string monitor = OwnInputName(clientBase_);
    EXPECT_TRUE(IsOwnPortName(monitor + "-01:" + monitor, clientBase_) &&
                IsOwnPortName(monitor + ":" + monitor + " 130:0", clientBase_));
    EXPECT_EQ(OwnInputName(), kOwnInputName);
    const std::string spy = "spy " + clientBase_;
    ASSERT_TRUE(service_->HasVirtualIn());
    auto own = service_->OpenVirtualIn(spy, [](const InputEvent&) {});
    ASSERT_NE(own, nullptr);
    // Nothing is connected to it to wait for: PipeWire shows it a little later.
    EXPECT_TRUE(Eventually([&] { return seen(spy + ":" + spy); }));
    EXPECT_LT(FindOut(spy + ":" + spy), 0);
    EXPECT_EQ(service_->OpenOut(spy + ":" + spy), nullptr);
    own.reset();

    // A closed output gives its name back to the next one.
    EXPECT_TRUE(out1->Close());
    EXPECT_TRUE(Eventually([&] { return !seen(outA); }));
    auto out3 = OpenPeerOutput();
    ASSERT_NE(out3, nullptr);
    EXPECT_TRUE(seen(outA));
}

// The way back as the JACK graph shows it: none to a synth whose output goes
// nowhere; possible through a client that both ends are connected to, and
// into an own input port that such a client feeds.
TEST_F(RtMidiJackTest, TheWayBackFollowsTheConnections) {
    using WayBack = MidiService::WayBack;
    std::string error;
    auto synth = JackPeer::Open("synth-" + clientBase_, &error);
    ASSERT_TRUE(synth) << error;
    EXPECT_EQ(service_->WayBackBetween(synth->InPort(), peer_->OutPort()), WayBack::None);
    EXPECT_EQ(service_->WayBackBetween(peer_->InPort(), peer_->OutPort()), WayBack::Possible);
    ASSERT_TRUE(synth->Connect(synth->OutPort(), peer_->InPort()));
    EXPECT_EQ(service_->WayBackBetween(synth->InPort(), peer_->OutPort()), WayBack::Possible);
    ASSERT_TRUE(synth->Disconnect(synth->OutPort(), peer_->InPort()));
    EXPECT_EQ(service_->WayBackBetween(synth->InPort(), peer_->OutPort()), WayBack::None);

    const std::string own = "own " + clientBase_;
    auto in = service_->OpenVirtualIn(own, [](const InputEvent&) {});
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(synth->WaitForPort(own + ":" + own)); // PipeWire shows it a little later
    EXPECT_EQ(service_->WayBackBetween(synth->InPort(), own), WayBack::None);
    ASSERT_TRUE(synth->Connect(synth->OutPort(), own + ":" + own));
    EXPECT_EQ(service_->WayBackBetween(synth->InPort(), own), WayBack::Possible);
    // A device the graph does not list: it can't tell.
    EXPECT_EQ(service_->WayBackBetween("gone:in", peer_->OutPort()), WayBack::Unknown);
}

// A device that leaves and comes back at once (its client restarted, well
// within the window's 1-second poll) has a port of the same name again, but
// the ports opened on it before are dead and say so; a new one connects.
TEST_F(RtMidiJackTest, PortsSayWhenTheirDeviceLeftEvenIfItCameBack) {
    auto in = OpenPeerInput();
    auto out = OpenPeerOutput();
    ASSERT_TRUE(in && out);
    EXPECT_FALSE(in->Gone());
    EXPECT_FALSE(out->Gone());
    const std::string name = peer_->ClientName();
    peer_.reset();
    peer_ = JackPeer::Open(name);
    ASSERT_NE(peer_, nullptr);
    ASSERT_EQ(peer_->ClientName(), name);
    EXPECT_TRUE(in->Gone());
    EXPECT_TRUE(out->Gone());
    EXPECT_TRUE(in->Close({}));
    EXPECT_TRUE(out->Close());

    auto again = OpenPeerOutput(); // connected to the device again
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->Gone());
    EXPECT_TRUE(again->Close());
}

TEST_F(RtMidiJackTest, ShortMessagesFromThePeerArriveAsPackedDataEvents) {
    auto in = OpenPeerInput();
    ASSERT_NE(in, nullptr);
    const std::vector<Bytes> sent = {
        {0x90, 0x3C, 0x40}, {0xC5, 0x10}, {0xF8}, {0xFE}, {0xE0, 0x00, 0x40}, {0xF1, 0x25},
    };
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        recorder_.Clear();
        for (const Bytes& message : sent) {
            EXPECT_TRUE(peer_->Send(message));
        }
        return WaitForAllUnlessLate(*peer_, xruns, sent.size(), [&] { return recorder_.Count(); });
    }));
    const std::vector<InputEvent> events = recorder_.Events();
    ASSERT_EQ(events.size(), sent.size());
    const std::vector<ShortMessage> expected = {0x403C90, 0x10C5, 0xF8, 0xFE, 0x4000E0, 0x25F1};
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].code, InputMessage::Data);
        EXPECT_EQ(events[i].message, expected[i]) << "message " << i;
    }
    EXPECT_EQ(in->LostEvents(), 0u);
    EXPECT_TRUE(in->Close({}));
}

TEST_F(RtMidiJackTest, LongSysexFillsTheQueuedBuffersInOrder) {
    std::array<std::array<std::uint8_t, 4096>, 3> storage{};
    std::array<MidiHeader, 3> headers{};
    std::atomic<bool> requeue{true};
    std::atomic<MidiInPort*> port{nullptr};
    auto in = OpenPeerInput([&](const InputEvent& event) {
        recorder_.Record(event);
        // Like the program: a filled buffer goes straight back to the queue.
        if (event.code == InputMessage::LongData && event.header->dwBytesRecorded > 0 &&
            requeue.load()) {
            EXPECT_TRUE(port.load()->AddBuffer(*event.header));
        }
    });
    ASSERT_NE(in, nullptr);
    port = in.get();
    for (std::size_t i = 0; i < headers.size(); ++i) {
        headers[i].lpData = storage[i].data();
        headers[i].dwBufferLength = storage[i].size();
        ASSERT_TRUE(in->PrepareHeader(headers[i]));
        ASSERT_TRUE(in->AddBuffer(headers[i]));
    }

    const Bytes sysex = UnevenSysexDump(10000);
    ASSERT_LE(sysex.size(), peer_->MaxEventBytes());
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        recorder_.Clear();
        EXPECT_TRUE(peer_->Send(sysex));
        return WaitForAllUnlessLate(*peer_, xruns, 3, [&] { return recorder_.Count(); });
    }));
    std::vector<Bytes> blocks = recorder_.Blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].size(), 4096u);
    EXPECT_EQ(blocks[1].size(), 4096u);
    EXPECT_EQ(blocks[2].size(), 1808u);
    Bytes joined;
    for (const Bytes& block : blocks) {
        joined.insert(joined.end(), block.begin(), block.end());
    }
    EXPECT_EQ(joined, sysex);

    // A reset hands every queued buffer back, empty.
    requeue = false;
    ASSERT_TRUE(in->Reset({}));
    const std::vector<InputEvent> events = recorder_.Events();
    ASSERT_EQ(events.size(), 6u);
    for (std::size_t i = 3; i < events.size(); ++i) {
        EXPECT_EQ(events[i].code, InputMessage::LongData);
        EXPECT_EQ(events[i].header->dwBytesRecorded, 0u);
        EXPECT_FALSE(events[i].header->queued);
    }
    for (MidiHeader& header : headers) {
        EXPECT_TRUE(in->UnprepareHeader(header));
    }
    EXPECT_TRUE(in->Close({}));
}

TEST_F(RtMidiJackTest, ClosingDuringAFloodReturnsPromptly) {
    std::atomic<std::uint64_t> delivered{0};
    auto in = OpenPeerInput([&](const InputEvent&) { delivered.fetch_add(1); });
    ASSERT_NE(in, nullptr);

    constexpr int kMessages = 100000;
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        for (int i = 0; i < kMessages && !stop; ++i) {
            const auto note = static_cast<std::uint8_t>(i & 0x7F);
            if (!peer_->Send({0x90, note, 0x40})) {
                break;
            }
        }
    });
    ASSERT_TRUE(Eventually([&] { return delivered.load() >= 1000; }));

    Watchdog watchdog(60s);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(in->Close({}));
    const auto took = std::chrono::steady_clock::now() - start;
    const std::uint64_t atClose = delivered.load();
    std::printf("closed after %llu messages in %lld ms\n", static_cast<unsigned long long>(atClose),
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The peer goes on playing: a few more of its cycles would have reached
    // a port that still delivered.
    EXPECT_TRUE(peer_->WaitCycles(3));
    EXPECT_EQ(delivered.load(), atClose); // no callback after Close
    in.reset();
    stop = true;
    sender.join();
}

TEST_F(RtMidiJackTest, ShortMessagesReachThePeerWithTheirOwnLength) {
    auto out = OpenPeerOutput();
    ASSERT_NE(out, nullptr);

    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        peer_->ClearReceived();
        EXPECT_TRUE(out->SendShort(PackShortMessage(0x99, 0x3C, 0x40)));
        EXPECT_TRUE(out->SendShort(PackShortMessage(0xC3, 0x05, 0x77)));  // program change: 2 bytes
        EXPECT_TRUE(out->SendShort(PackShortMessage(0xF8, 0x01, 0x02)));  // clock: 1 byte
        EXPECT_TRUE(out->SendShort(PackShortMessage(0xF2, 0x10, 0x20)));  // song position: 3 bytes
        EXPECT_FALSE(out->SendShort(PackShortMessage(0x3C, 0x40, 0x00))); // no status byte
        return WaitForAllUnlessLate(*peer_, xruns, 4, [&] { return peer_->ReceivedCount(); });
    }));
    const std::vector<Bytes> expected = {
        {0x99, 0x3C, 0x40}, {0xC3, 0x05}, {0xF8}, {0xF2, 0x10, 0x20}};
    EXPECT_EQ(peer_->Received(), expected);

    EXPECT_TRUE(out->Reset());
    EXPECT_TRUE(out->Close());
    EXPECT_FALSE(out->Close());
    EXPECT_FALSE(out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)));
    EXPECT_FALSE(out->SendLong(UnevenSysexDump(10)));
    EXPECT_FALSE(out->Reset());
}

TEST_F(RtMidiJackTest, SysexSentInBlocksArrivesByteIdentical) {
    auto out = OpenPeerOutput();
    ASSERT_NE(out, nullptr);

    const Bytes sysex = UnevenSysexDump(10000);
    const Bytes big = UnevenSysexDump(40000);
    Bytes expected = sysex;
    expected.insert(expected.end(), big.begin(), big.end());
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        peer_->ClearReceived();
        // As the program sends a file: blocks of at most 4096 bytes.
        for (std::size_t at = 0; at < sysex.size(); at += 4096) {
            const std::size_t n = std::min<std::size_t>(4096, sysex.size() - at);
            EXPECT_TRUE(out->SendLong(std::span(sysex).subspan(at, n)));
        }
        // And in one call, longer than RtMidi's JACK output queue takes at once.
        EXPECT_TRUE(out->SendLong(big));
        return WaitForAllUnlessLate(*peer_, xruns, expected.size(),
                                    [&] { return peer_->ReceivedByteCount(); });
    }));
    EXPECT_EQ(peer_->ReceivedBytes(), expected);
    EXPECT_EQ(peer_->LostEvents(), 0u);
    EXPECT_TRUE(out->Close());
}

// Far more than RtMidi's JACK output queue (16 KB) and port buffer (32 KB)
// take at once: the output paces itself by the server's cycles.
TEST_F(RtMidiJackTest, ALongDumpSentInBlocksLosesNothing) {
    auto out = OpenPeerOutput();
    ASSERT_NE(out, nullptr);
    const Bytes sysex = UnevenSysexDump(std::size_t{256} << 10);
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        peer_->ClearReceived();
        for (std::size_t at = 0; at < sysex.size(); at += 4096) {
            const std::size_t n = std::min<std::size_t>(4096, sysex.size() - at);
            EXPECT_TRUE(out->SendLong(std::span(sysex).subspan(at, n)));
        }
        return WaitForAllUnlessLate(*peer_, xruns, sysex.size(),
                                    [&] { return peer_->ReceivedByteCount(); });
    }));
    EXPECT_EQ(peer_->ReceivedBytes(), sysex);
}

TEST_F(RtMidiJackTest, TwoThreadsSendingAtOnceKeepEveryMessageWhole) {
    auto out = OpenPeerOutput();
    ASSERT_NE(out, nullptr);

    constexpr int kEach = 2000;
    auto play = [&](std::uint8_t channel) {
        for (int i = 0; i < kEach; ++i) {
            const auto value = static_cast<std::uint8_t>(i & 0x7F);
            EXPECT_TRUE(out->SendShort(PackShortMessage(0xB0 | channel, value, value)));
        }
    };
    ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
        peer_->ClearReceived();
        std::thread window(play, 0);
        std::thread midi(play, 1);
        window.join();
        midi.join();
        return WaitForAllUnlessLate(*peer_, xruns, 2 * kEach,
                                    [&] { return peer_->ReceivedCount(); });
    }));
    std::array<int, 2> next{0, 0};
    for (const Bytes& event : peer_->Received()) {
        ASSERT_EQ(event.size(), 3u);
        const int channel = event[0] & 0x0F;
        ASSERT_LT(channel, 2);
        const auto value = static_cast<std::uint8_t>(next[channel]++ & 0x7F);
        EXPECT_EQ(event, (Bytes{static_cast<std::uint8_t>(0xB0 | channel), value, value}));
    }
    EXPECT_EQ(next[0], kEach);
    EXPECT_EQ(next[1], kEach);
}

// A server of the test's own, stopped while Velmora sends and listens: sends
// fail instead of waiting for a server that is gone, the ports close, and
// nothing hangs or crashes.
TEST(RtMidiServerGoneTest, SendsFailAndPortsCloseWhenTheServerDies) {
    VELMORA_NEEDS_JACKD("PipeWire tells only activated clients that it stopped, and RtMidi "
                        "activates none before a port opens");
    velmora::jacktest::OwnJackServer server("gone");
    ASSERT_TRUE(server.Started());
    Watchdog watchdog(180s);

    std::string error;
    auto peer = JackPeer::Open("peer-gone", &error);
    ASSERT_NE(peer, nullptr) << error;
    auto service = CreateRtMidiService("jack", &error, "vg-" + std::to_string(getpid()));
    ASSERT_NE(service, nullptr) << error;
    int outDevice = -1;
    for (int i = 0; i < service->OutDeviceCount(); ++i) {
        if (service->OutDeviceName(i) == peer->InPort()) {
            outDevice = i;
        }
    }
    int inDevice = -1;
    for (int i = 0; i < service->InDeviceCount(); ++i) {
        if (service->InDeviceName(i) == peer->OutPort()) {
            inDevice = i;
        }
    }
    auto out = service->OpenOut(outDevice);
    auto in = service->OpenIn(inDevice, [](const InputEvent&) {});
    ASSERT_TRUE(out && in);
    ASSERT_TRUE(in->Start());

    std::thread sender([&] {
        const Bytes block = UnevenSysexDump(4096);
        while (out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)) && out->SendLong(block)) {
        }
    });
    EXPECT_TRUE(peer->WaitForEvents(10));
    ASSERT_TRUE(server.Kill());
    sender.join(); // ends when the sends fail

    EXPECT_TRUE(Eventually([&] { return service->OutDeviceCount() == 0; }));
    EXPECT_FALSE(service->Running());
    EXPECT_EQ(service->InDeviceCount(), 0);
    EXPECT_EQ(service->OpenOut(0), nullptr);
    EXPECT_FALSE(out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)));
    EXPECT_TRUE(out->Close());
    EXPECT_TRUE(in->Reset({}));
    EXPECT_TRUE(in->Close({}));
    in.reset();
    out.reset();
    service.reset();
    peer.reset();
}

TEST(RtMidiFactoryTest, JackWithoutAServerFailsWithAReason) {
    if (jacktest::OnPipeWire()) {
        GTEST_SKIP() << "PipeWire ignores JACK_DEFAULT_SERVER: there is always a server";
    }
    ScopedEnvironment absent("JACK_DEFAULT_SERVER", "velmora-absent-" + std::to_string(getpid()));
    std::string error;
    EXPECT_EQ(CreateRtMidiService("jack", &error), nullptr);
    EXPECT_NE(error.find("no JACK server"), std::string::npos) << error;
    EXPECT_NE(error.find("velmora-absent-"), std::string::npos) << error;
}

TEST(RtMidiFactoryTest, AlsaWithoutASequencerFailsWithAReason) {
    if (AlsaSequencerPresent()) {
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    std::string error;
    EXPECT_EQ(CreateRtMidiService("alsa", &error), nullptr);
    EXPECT_NE(error.find("/dev/snd/seq"), std::string::npos) << error;
}

TEST(RtMidiFactoryTest, DefaultTakesTheFirstServiceThatWorks) {
    std::string error;
    auto service = CreateRtMidiService("", &error, "vt-default-" + std::to_string(getpid()));
    ASSERT_NE(service, nullptr) << error;
    EXPECT_EQ(service->Name(), AlsaSequencerPresent() ? "alsa" : "jack");

    ScopedEnvironment absent("JACK_DEFAULT_SERVER", "velmora-absent-" + std::to_string(getpid()));
    if (!AlsaSequencerPresent() && !jacktest::OnPipeWire()) { // PipeWire ignores the name
        EXPECT_EQ(CreateRtMidiService("", &error), nullptr);
        EXPECT_NE(error.find("alsa:"), std::string::npos) << error;
        EXPECT_NE(error.find("jack:"), std::string::npos) << error;
    }
}

TEST(RtMidiFactoryTest, UnknownApiIsNamedInTheMessage) {
    std::string error;
    EXPECT_EQ(CreateRtMidiService("carrier-pigeon", &error), nullptr);
    EXPECT_NE(error.find("carrier-pigeon"), std::string::npos) << error;
}

} // namespace
} // namespace velmora::midi
