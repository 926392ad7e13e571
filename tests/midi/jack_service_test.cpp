// Velmora's own JACK service against real JACK MIDI ports: a JackPeer plays
// into Velmora's inputs and a second one, the synth, listens to its outputs.
// Two clients, as on a user's rig: one client at both ends would close a loop
// through Velmora in JACK's graph, which the server breaks by letting that
// client read Velmora's output without waiting for Velmora's cycle, so that
// on a busy machine it reads a late cycle's events twice. Runs under the ctest
// fixture "jack" (the dummy jackd, or PipeWire's JACK under pw-jack).
#include "midi/jack/jack_service.h"

#include <gtest/gtest.h>

#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "jack_peer.h"
#include "late_cycles.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "own_jack_server.h"
#include "support/eventually.h"
#include "support/recording_reporter.h"
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
using velmora::testing::RecordingHandOff;
using velmora::testing::RecordingReporter;
using velmora::testing::ScopedEnvironment;
using velmora::testing::UnevenSysexDump;
using velmora::testing::Watchdog;

// What the input callback saw, with buffers handed straight back as the
// program does.
class Collector {
  public:
    static constexpr std::size_t kBuffers = 16;

    void Attach(MidiInPort& port) {
        port_ = &port;
        for (std::size_t i = 0; i < kBuffers; ++i) {
            headers_[i].lpData = storage_[i].data();
            headers_[i].dwBufferLength = static_cast<std::uint32_t>(storage_[i].size());
            EXPECT_TRUE(port.PrepareHeader(headers_[i]));
            EXPECT_TRUE(port.AddBuffer(headers_[i]));
        }
        EXPECT_TRUE(port.Start());
    }
    // Before the port is reset and closed.
    void Detach() {
        requeue_ = false;
        EXPECT_TRUE(port_->Reset({}));
    }
    InputCallback Callback() {
        return [this](const InputEvent& event) {
            std::lock_guard lock(mutex_);
            if (event.code == InputMessage::Data) {
                shorts_.push_back(event.message);
                return;
            }
            sysex_.insert(sysex_.end(), event.header->lpData,
                          event.header->lpData + event.header->dwBytesRecorded);
            if (event.header->dwBytesRecorded > 0 && requeue_) {
                port_->AddBuffer(*event.header);
            }
        };
    }
    Bytes Sysex() {
        std::lock_guard lock(mutex_);
        return sysex_;
    }
    std::size_t SysexBytes() {
        std::lock_guard lock(mutex_);
        return sysex_.size();
    }
    std::vector<ShortMessage> Shorts() {
        std::lock_guard lock(mutex_);
        return shorts_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        sysex_.clear();
        shorts_.clear();
    }

  private:
    MidiInPort* port_ = nullptr;
    std::atomic<bool> requeue_{true};
    std::array<std::array<std::uint8_t, 4096>, kBuffers> storage_{};
    std::array<MidiHeader, kBuffers> headers_{};
    std::mutex mutex_;
    Bytes sysex_;
    std::vector<ShortMessage> shorts_;
};

// Plays `notes` numbered notes from `keyboard` until `synth` has each once,
// in order, with `status`. A cycle the server runs late drops or repeats
// that cycle's events: that run is tried again.
bool FullRateArrives(JackPeer& keyboard, JackPeer& synth, std::uint8_t status, std::size_t notes) {
    return RepeatedOnLateCycles(synth, [&](std::uint64_t xruns) {
        synth.ClearReceived();
        for (std::size_t i = 0; i < notes; ++i) {
            EXPECT_TRUE(keyboard.Send({0x90, static_cast<std::uint8_t>(i & 0x7F), 0x40}));
        }
        if (!WaitForAllUnlessLate(synth, xruns, notes, [&] { return synth.ReceivedCount(); })) {
            return false;
        }
        const auto received = synth.Received();
        for (std::size_t i = 0; i < notes; ++i) {
            if (received[i] != Bytes{status, static_cast<std::uint8_t>(i & 0x7F), 0x40}) {
                return false;
            }
        }
        return true;
    });
}

class JackServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string suffix = std::to_string(getpid());
        std::string error;
        peer_ = JackPeer::Open("peer-" + suffix, &error);
        ASSERT_NE(peer_, nullptr) << error;
        synth_ = JackPeer::Open("synth-" + suffix, &error);
        ASSERT_NE(synth_, nullptr) << error;
        base_ = "vj-" + suffix;
        service_ = CreateJackService(&error, base_);
        ASSERT_NE(service_, nullptr) << error;
    }

    bool Listed(const std::string& name, bool output) {
        const int count = output ? service_->OutDeviceCount() : service_->InDeviceCount();
        for (int i = 0; i < count; ++i) {
            if ((output ? service_->OutDeviceName(i) : service_->InDeviceName(i)) == name) {
                return true;
            }
        }
        return false;
    }
    bool Seen(const std::string& port) { return !peer_->Ports("^" + port + "$").empty(); }

    std::unique_ptr<MidiInPort> OpenPeerInput(Collector& collector) {
        auto in = service_->OpenIn(peer_->OutPort(), collector.Callback());
        EXPECT_NE(in, nullptr);
        if (in) {
            EXPECT_TRUE(peer_->WaitConnected(peer_->OutPort(), base_ + ":in"));
            collector.Attach(*in);
        }
        return in;
    }
    std::unique_ptr<MidiOutPort> OpenPeerOutput() {
        auto out = service_->OpenOut(synth_->InPort());
        EXPECT_NE(out, nullptr);
        if (out) {
            EXPECT_TRUE(synth_->WaitConnected(base_ + ":out", synth_->InPort()));
        }
        return out;
    }

    std::unique_ptr<JackPeer> peer_;  // plays into Velmora
    std::unique_ptr<JackPeer> synth_; // listens to Velmora
    std::string base_;
    std::unique_ptr<MidiService> service_;
};

TEST_F(JackServiceTest, AllPortsAreOfOneClientWithStableNamesAndNeverListed) {
    EXPECT_EQ(service_->Name(), "jack");
    EXPECT_TRUE(service_->Running());
    EXPECT_TRUE(Listed(peer_->OutPort(), false));
    EXPECT_TRUE(Listed(peer_->InPort(), true));
    EXPECT_EQ(service_->OutDeviceName(-1), std::nullopt);
    EXPECT_EQ(service_->OpenOut("no such:port"), nullptr);

    Collector collector;
    auto in = OpenPeerInput(collector);
    auto out1 = OpenPeerOutput();
    auto out2 = service_->OpenOut(peer_->InPort());
    auto own = service_->OpenVirtualIn("Spy", [](const InputEvent&) {});
    auto own2 = service_->OpenVirtualIn("Spy", [](const InputEvent&) {});
    ASSERT_TRUE(in && out1 && out2 && own && own2);
    for (const char* port : {":in", ":out", ":out 2", ":Spy", ":Spy-01"}) {
        EXPECT_TRUE(Seen(base_ + port)) << port;
    }
    // Velmora's own ports, of this Velmora and of a second one, are never
    // offered: thru into itself would be a loop.
    EXPECT_FALSE(Listed(base_ + ":in", true) || Listed(base_ + ":out", false) ||
                 Listed(base_ + ":Spy", true));
    EXPECT_EQ(service_->OpenOut(base_ + ":Spy"), nullptr);
    // The server tells of every client and port that comes: the lists need
    // not be read again to know that they changed.
    const std::optional<std::uint64_t> listChanges = service_->DeviceListChanges();
    ASSERT_TRUE(listChanges.has_value());
    std::string error;
    auto second = CreateJackService(&error, base_);
    ASSERT_NE(second, nullptr) << error;
    EXPECT_EQ(static_cast<JackService&>(*second).ClientName(), base_ + "-01");
    auto secondOwn = second->OpenVirtualIn("Spy", [](const InputEvent&) {});
    ASSERT_NE(secondOwn, nullptr);
    EXPECT_TRUE(Seen(base_ + "-01:Spy-02"));
    EXPECT_FALSE(Listed(base_ + "-01:Spy-02", true));
    EXPECT_TRUE(Eventually([&] { return service_->DeviceListChanges() != listChanges; }));

    // A closed port's name is free for the next.
    EXPECT_TRUE(out1->Close());
    EXPECT_TRUE(Eventually([&] { return !Seen(base_ + ":out"); }));
    auto out3 = OpenPeerOutput();
    ASSERT_NE(out3, nullptr);
    collector.Detach();
    EXPECT_TRUE(in->Close({}));
}

// Sysex both ways at the sizes a technician sends: each whole message one
// event where the port takes it, byte-identical, nothing lost or unsent.
TEST_F(JackServiceTest, SysexBothWaysArrivesByteIdenticalAtEverySize) {
    Collector collector;
    auto in = OpenPeerInput(collector);
    auto out = OpenPeerOutput();
    ASSERT_TRUE(in && out);
    const std::size_t maxEvent = peer_->MaxEventBytes();
    for (const std::size_t size : {std::size_t{5} << 10, std::size_t{16} << 10,
                                   std::size_t{64} << 10, std::size_t{1} << 20}) {
        SCOPED_TRACE(size);
        const Bytes sysex = UnevenSysexDump(size);
        // Out: as a file is sent, in blocks of 4096 bytes.
        ASSERT_TRUE(RepeatedOnLateCycles(*synth_, [&](std::uint64_t xruns) {
            synth_->ClearReceived();
            for (std::size_t at = 0; at < sysex.size(); at += 4096) {
                EXPECT_TRUE(out->SendLong(
                    std::span(sysex).subspan(at, std::min<std::size_t>(4096, sysex.size() - at))));
            }
            EXPECT_EQ(out->UnsentBytes(), 0u);
            return WaitForAllUnlessLate(*synth_, xruns, sysex.size(),
                                        [&] { return synth_->ReceivedByteCount(); });
        }));
        EXPECT_EQ(synth_->ReceivedBytes(), sysex);
        if (size <= maxEvent) {
            EXPECT_EQ(synth_->ReceivedCount(), 1u); // one event, not blocks
        }
        // In: the peer plays it in events as long as its port takes.
        ASSERT_TRUE(RepeatedOnLateCycles(*peer_, [&](std::uint64_t xruns) {
            collector.Clear();
            for (std::size_t at = 0; at < sysex.size(); at += maxEvent) {
                EXPECT_TRUE(peer_->Send(std::span(sysex).subspan(
                    at, std::min<std::size_t>(maxEvent, sysex.size() - at))));
            }
            return WaitForAllUnlessLate(*peer_, xruns, sysex.size(),
                                        [&] { return collector.SysexBytes(); });
        }));
        EXPECT_EQ(collector.Sysex(), sysex);
    }
    EXPECT_EQ(in->LostEvents(), 0u);
    EXPECT_EQ(synth_->LostEvents(), 0u);
    collector.Detach();
    EXPECT_TRUE(in->Close({}));
    EXPECT_TRUE(out->Close());
}

// Thru at full rate: every note the peer plays comes back out, although more
// than a server carries in one cycle arrive at once.
TEST_F(JackServiceTest, ThruAtFullRateLosesNothing) {
    auto out = OpenPeerOutput();
    ASSERT_NE(out, nullptr);
    MidiOutPort* thru = out.get();
    auto in = service_->OpenIn(peer_->OutPort(), [thru](const InputEvent& event) {
        if (event.code == InputMessage::Data) {
            thru->SendShort(event.message);
        }
    });
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(peer_->WaitConnected(peer_->OutPort(), base_ + ":in"));
    ASSERT_TRUE(in->Start());
    constexpr std::size_t kNotes = 10000;
    EXPECT_TRUE(FullRateArrives(*peer_, *synth_, 0x90, kNotes));
    const auto received = synth_->Received();
    ASSERT_EQ(received.size(), kNotes);
    for (std::size_t i = 0; i < kNotes; ++i) {
        ASSERT_EQ(received[i], (Bytes{0x90, static_cast<std::uint8_t>(i & 0x7F), 0x40})) << i;
    }
    EXPECT_EQ(in->LostEvents(), 0u);
    EXPECT_EQ(out->UnsentBytes(), 0u);
    EXPECT_TRUE(in->Reset({}));
    EXPECT_TRUE(in->Close({}));
}

// Thru between ports of the service passes inside its cycle: a note the
// keyboard plays at a frame of a cycle reaches the synth at that frame of the
// same cycle, once (the delivery thread does not send it again), on the
// thru channel where one is set; at full rate, more than a cycle carries,
// every note in order; with thru off it is shown and not passed.
TEST_F(JackServiceTest, ThruPassesANoteInTheCycleAndAtTheFrameItCameIn) {
    RecordingReporter reporter;
    MidiFunctions midi(*service_, reporter);
    InputPathState path;
    RouterSettings router;
    RecordingHandOff shown(midi);
    MidiInCallback callback(midi, path, router, shown);
    struct ClosedFirst { // before the callback and what it hands to go
        MidiFunctions& midi;
        ~ClosedFirst() {
            midi.CloseMidiIn();
            midi.CloseMidiOut();
        }
    } closedFirst{midi};
    midi.MidiInDeviceName = peer_->OutPort();
    midi.MidiOutDeviceName = synth_->InPort();
    ASSERT_TRUE(midi.OpenMidiIn(callback.AsCallback()));
    ASSERT_TRUE(midi.OpenMidiOut());
    ASSERT_TRUE(peer_->WaitConnected(peer_->OutPort(), base_ + ":in"));
    ASSERT_TRUE(synth_->WaitConnected(base_ + ":out", synth_->InPort()));
    path.mainOutOpen = 1;
    path.thruOn = 1;
    constexpr std::uint32_t kFrame = 100;
    peer_->SetSendFrame(kFrame);

    // Plays a note until it arrives in the cycle it was played in (a late
    // cycle can move or drop it), then lets the delivery thread show it.
    const auto play = [&](std::uint8_t note, bool passes) {
        const std::size_t shownBefore = shown.Seen().size();
        return RepeatedOnLateCycles(*synth_, [&](std::uint64_t xruns) {
            synth_->ClearReceived();
            EXPECT_TRUE(peer_->Send({0x90, note, 0x40}));
            const bool arrived = WaitForAllUnlessLate(*synth_, xruns, passes ? 1 : 0,
                                                      [&] { return synth_->ReceivedCount(); }) &&
                                 WaitForAllUnlessLate(*synth_, xruns, shownBefore + 1,
                                                      [&] { return shown.Seen().size(); });
            // Time enough for a second copy, had anything sent one.
            EXPECT_TRUE(synth_->WaitCycles(4));
            const auto frames = synth_->ReceivedFrames();
            return arrived && frames.size() == (passes ? 1u : 0u) &&
                   (!passes || frames[0] == peer_->LastSentFrame() + kFrame);
        });
    };
    EXPECT_TRUE(play(0x3C, true)) << synth_->ReceivedCount();
    EXPECT_EQ(synth_->Received(), (std::vector<Bytes>{{0x90, 0x3C, 0x40}}));
    path.thruChannel = 10;
    EXPECT_TRUE(play(0x3D, true)) << synth_->ReceivedCount();
    EXPECT_EQ(synth_->Received(), (std::vector<Bytes>{{0x99, 0x3D, 0x40}}));

    constexpr std::size_t kNotes = 10000;
    EXPECT_TRUE(FullRateArrives(*peer_, *synth_, 0x99, kNotes));
    const auto received = synth_->Received();
    ASSERT_EQ(received.size(), kNotes);
    for (std::size_t i = 0; i < kNotes; ++i) {
        ASSERT_EQ(received[i], (Bytes{0x99, static_cast<std::uint8_t>(i & 0x7F), 0x40})) << i;
    }
    path.thruOn = 0;
    EXPECT_TRUE(play(0x3E, false)) << synth_->ReceivedCount();
    EXPECT_EQ(shown.Seen().back().lastShortMessage, PackShortMessage(0x90, 0x3E, 0x40));
    EXPECT_EQ(midi.LostInputEvents(), 0u);
}

// A device that leaves and comes back within 100 ms is connected again; while
// it is away the port says so, and what went nowhere is counted. The device is
// one client at both ends, as a bridge of hardware ports is: a loop through
// Velmora in JACK's graph, which works too.
TEST_F(JackServiceTest, ADeviceThatBlinksIsConnectedAgainAndLossesAreCounted) {
    const std::string name = "blink-" + std::to_string(getpid());
    std::string error;
    auto device = JackPeer::Open(name, &error);
    ASSERT_NE(device, nullptr) << error;
    auto out = service_->OpenOut(device->InPort());
    Collector collector;
    auto in = service_->OpenIn(device->OutPort(), collector.Callback());
    ASSERT_TRUE(out && in);
    collector.Attach(*in);
    EXPECT_FALSE(out->Gone() || in->Gone());

    device.reset();
    EXPECT_TRUE(Eventually([&] { return out->Gone() && in->Gone(); }));
    EXPECT_TRUE(out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)));
    EXPECT_EQ(out->UnsentBytes(), 3u); // it went nowhere, and says so
    device = JackPeer::Open(name, &error);
    ASSERT_NE(device, nullptr) << error;
    ASSERT_EQ(device->ClientName(), name);
    EXPECT_TRUE(device->WaitConnected(base_ + ":out", device->InPort()));
    EXPECT_TRUE(device->WaitConnected(device->OutPort(), base_ + ":in"));
    EXPECT_FALSE(out->Gone() || in->Gone());

    ASSERT_TRUE(RepeatedOnLateCycles(*device, [&](std::uint64_t xruns) {
        device->ClearReceived();
        collector.Clear();
        EXPECT_TRUE(out->SendShort(PackShortMessage(0x90, 0x3D, 0x40)));
        EXPECT_TRUE(device->Send({0x80, 0x3D, 0x00}));
        return WaitForAllUnlessLate(
            *device, xruns, 2, [&] { return device->ReceivedCount() + collector.Shorts().size(); });
    }));
    EXPECT_EQ(device->Received(), (std::vector<Bytes>{{0x90, 0x3D, 0x40}}));
    EXPECT_EQ(collector.Shorts(), (std::vector<ShortMessage>{PackShortMessage(0x80, 0x3D, 0x00)}));

    // Quick: gone and back within 100 ms, before anyone polls.
    device.reset();
    device = JackPeer::Open(name, &error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_TRUE(device->WaitConnected(base_ + ":out", device->InPort()));
    EXPECT_TRUE(device->WaitConnected(device->OutPort(), base_ + ":in"));
    collector.Detach();
    EXPECT_TRUE(in->Close({}));
}

// Through the connections of the clients in between.
TEST_F(JackServiceTest, TheWayBackFollowsConnectionsThroughOtherClients) {
    std::string error;
    auto middle = JackPeer::Open("middle-" + std::to_string(getpid()), &error);
    ASSERT_NE(middle, nullptr) << error;
    EXPECT_EQ(service_->WayBackBetween(peer_->InPort(), peer_->OutPort()),
              MidiService::WayBack::Possible); // the same client may echo
    EXPECT_EQ(service_->WayBackBetween(peer_->InPort(), middle->OutPort()),
              MidiService::WayBack::None);
    ASSERT_TRUE(peer_->Connect(peer_->OutPort(), middle->InPort()));
    EXPECT_EQ(service_->WayBackBetween(peer_->InPort(), middle->OutPort()),
              MidiService::WayBack::Possible);
    EXPECT_EQ(service_->WayBackBetween(middle->InPort(), peer_->OutPort()),
              MidiService::WayBack::None);
    EXPECT_EQ(service_->WayBackBetween("no such:port", peer_->OutPort()),
              MidiService::WayBack::Unknown);
}

// A server of the test's own, stopped while Velmora sends and listens: the
// service and its ports say so within 2 s, sends fail with what did not go
// counted, and everything closes without a hang or crash, also after the
// server came back and a new service runs on it.
TEST(JackServerGoneTest, AStoppedServerIsNoticedAndPortsCloseAfterItReturns) {
    jacktest::OwnJackServer server("jgone");
    ASSERT_TRUE(server.Started());
    Watchdog watchdog(180s);
    std::string error;
    auto peer = JackPeer::Open("peer-gone", &error);
    ASSERT_NE(peer, nullptr) << error;
    auto service = CreateJackService(&error, "vg-" + std::to_string(getpid()));
    ASSERT_NE(service, nullptr) << error;
    auto out = service->OpenOut(peer->InPort());
    auto in = service->OpenIn(peer->OutPort(), [](const InputEvent&) {});
    ASSERT_TRUE(out && in);
    ASSERT_TRUE(in->Start());
    std::atomic<bool> failed{false};
    std::thread sender([&] {
        const Bytes block = UnevenSysexDump(4096);
        while (out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)) && out->SendLong(block)) {
        }
        failed = true;
    });
    EXPECT_TRUE(peer->WaitForEvents(10));
    ASSERT_TRUE(server.Kill());
    EXPECT_TRUE(Eventually([&] { return !service->Running(); }, 2s, 1ms));
    EXPECT_TRUE(out->Gone());
    EXPECT_TRUE(in->Gone());
    sender.join();
    EXPECT_TRUE(failed);
    EXPECT_EQ(service->OutDeviceCount(), 0);
    EXPECT_EQ(service->OpenOut(peer->InPort()), nullptr);
    EXPECT_FALSE(out->SendShort(PackShortMessage(0x90, 0x3C, 0x40)));
    peer.reset();

    // A server runs again (under a name of its own: where no one reaps the
    // killed jackd, it blocks its name); a new service works there, and the
    // old ports close afterwards without touching the new server.
    jacktest::OwnJackServer again("back");
    ASSERT_TRUE(again.Started());
    auto newer = CreateJackService(&error, "vg-" + std::to_string(getpid()));
    ASSERT_NE(newer, nullptr) << error;
    EXPECT_TRUE(newer->Running());
    EXPECT_TRUE(out->Close());
    EXPECT_TRUE(in->Reset({}));
    EXPECT_TRUE(in->Close({}));
    out.reset();
    in.reset();
    service.reset();
    newer.reset();
}

TEST(JackFactoryTest, WithoutAServerTheServiceFailsWithAReason) {
    if (jacktest::OnPipeWire()) {
        GTEST_SKIP() << "PipeWire ignores JACK_DEFAULT_SERVER: there is always a server";
    }
    ScopedEnvironment absent("JACK_DEFAULT_SERVER", "velmora-absent-" + std::to_string(getpid()));
    std::string error;
    EXPECT_EQ(CreateJackService(&error), nullptr);
    EXPECT_NE(error.find("no JACK server"), std::string::npos) << error;
}

} // namespace
} // namespace velmora::midi
