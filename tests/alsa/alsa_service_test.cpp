#include "midi/alsa/alsa_service.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include "alsa/alsa_peer.h"
#include "support/eventually.h"
#include "support/sysex_dump.h"

namespace velmora::midi {
namespace {

using alsa::SeqClient;
using alsa::SeqPort;
using testing::DeviceNamed;
using testing::Receiver;
using velmora::testing::Eventually;

bool Contains(const std::vector<std::string>& names, const std::string& part) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return n.find(part) != std::string::npos; });
}

// The port names another program sees.
std::vector<std::string> SeenFromOutside(const SeqClient& peer) {
    std::vector<std::string> names;
    for (const SeqPort& p : peer.Ports()) {
        names.push_back(p.clientName + ":" + p.portName);
    }
    return names;
}

TEST(AlsaService, ListsOpensClosesAndFollowsPortsThatComeAndGo) {
    VELMORA_REQUIRE_SEQUENCER();
    std::string why;
    auto service = CreateAlsaService(&why);
    ASSERT_TRUE(service) << why;
    EXPECT_EQ(service->Name(), "alsa");
    EXPECT_TRUE(service->Running());
    const std::string through = DeviceNamed(*service, true, "Midi Through");
    ASSERT_FALSE(through.empty());
    EXPECT_EQ(through, DeviceNamed(*service, false, "Midi Through"));
    EXPECT_TRUE(Contains(OutDeviceNames(*service), "VirMIDI"));

    // Today's names, seen by another program; never in Velmora's lists.
    auto peer = SeqClient::Open("Test Peer", &why);
    ASSERT_TRUE(peer) << why;
    auto out1 = service->OpenOut(through);
    auto out2 = service->OpenOut(through);
    Receiver receiver;
    auto in = service->OpenIn(through, receiver.Callback());
    auto own = service->OpenVirtualIn(kOwnInputName, [](const InputEvent&) {});
    ASSERT_TRUE(out1 && out2 && in && own);
    const std::vector<std::string> outside = SeenFromOutside(*peer);
    for (const char* name : {"Velmora out:out", "Velmora out 2:out 2", "Velmora in:in",
                             "Velmora Monitor:Velmora Monitor"}) {
        EXPECT_TRUE(Contains(outside, name)) << name;
    }
    EXPECT_FALSE(Contains(OutDeviceNames(*service), "Velmora"));
    EXPECT_FALSE(Contains(InDeviceNames(*service), "Velmora"));
    EXPECT_EQ(service->WayBackBetween(through, through), MidiService::WayBack::Possible);
    EXPECT_EQ(service->WayBackBetween(DeviceNamed(*service, true, "VirMIDI"), through),
              MidiService::WayBack::Unknown);
    EXPECT_TRUE(out2->Close());
    EXPECT_FALSE(out2->SendShort(0x403C90));
    receiver.Attach(*in);
    EXPECT_TRUE(receiver.Detach());
    EXPECT_TRUE(out1->Close());
    in.reset();
    own.reset();

    // A program's port comes: listed once announced; it goes: the port that
    // was open on it is gone, and the lists no longer show it.
    auto synth = SeqClient::Open("Test Synth", &why);
    ASSERT_TRUE(synth) << why;
    ASSERT_GE(snd_seq_create_simple_port(synth->Handle(), "synth in",
                                         SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC),
              0);
    std::string synthName;
    ASSERT_TRUE(Eventually([&] {
        synthName = DeviceNamed(*service, true, "Test Synth:synth in");
        return !synthName.empty();
    }));
    auto toSynth = service->OpenOut(synthName);
    ASSERT_TRUE(toSynth);
    EXPECT_FALSE(toSynth->Gone());
    EXPECT_TRUE(toSynth->SendShort(0x403C90));
    synth.reset();
    EXPECT_TRUE(Eventually([&] { return toSynth->Gone(); }));
    EXPECT_FALSE(toSynth->SendShort(0x403C90));
    EXPECT_TRUE(DeviceNamed(*service, true, "Test Synth").empty());
    EXPECT_TRUE(toSynth->Close());
}

TEST(AlsaService, ThruAndSysexPassMidiThroughWhole) {
    VELMORA_REQUIRE_SEQUENCER();
    std::string why;
    auto service = CreateAlsaService(&why);
    ASSERT_TRUE(service) << why;
    const std::string through = DeviceNamed(*service, true, "Midi Through");
    Receiver receiver;
    auto in = service->OpenIn(through, receiver.Callback());
    auto out = service->OpenOut(through);
    ASSERT_TRUE(in && out);
    receiver.Attach(*in);

    std::vector<ShortMessage> notes;
    for (std::uint32_t i = 0; i < 200; ++i) {
        notes.push_back(0x90 | ((i % 128) << 8) | (((i + 1) % 128) << 16));
        ASSERT_TRUE(out->SendShort(notes.back()));
    }
    ASSERT_TRUE(Eventually([&] { return receiver.Shorts().size() >= notes.size(); }));
    EXPECT_EQ(receiver.Shorts(), notes);

    for (const std::size_t size : {5'000u, 16'384u, 65'536u, 1u << 20}) {
        receiver.Clear();
        const auto dump = velmora::testing::UnevenSysexDump(size);
        for (std::size_t at = 0; at < dump.size(); at += 4096) {
            ASSERT_TRUE(out->SendLong(
                std::span(dump).subspan(at, std::min<std::size_t>(4096, dump.size() - at))))
                << size << " bytes, block at " << at;
        }
        ASSERT_TRUE(Eventually([&] { return receiver.SysexBytes() >= dump.size(); },
                               std::chrono::seconds(120)))
            << size << " bytes: " << receiver.SysexBytes() << " came";
        EXPECT_TRUE(receiver.Sysex() == dump) << size << " bytes";
    }
    EXPECT_EQ(in->LostEvents(), 0u);
    EXPECT_TRUE(receiver.Detach());
    EXPECT_TRUE(out->Close());
}

TEST(AlsaService, CountsWhatTheSequencerCouldNotDeliver) {
    VELMORA_REQUIRE_SEQUENCER();
    std::string why;
    auto service = CreateAlsaService(&why);
    ASSERT_TRUE(service) << why;
    Receiver receiver;
    auto own = service->OpenVirtualIn("Velmora Loss Test", receiver.Callback());
    ASSERT_TRUE(own);
    receiver.Attach(*own);
    auto peer = SeqClient::Open("Test Flood", &why);
    ASSERT_TRUE(peer) << why;
    const int port = snd_seq_create_simple_port(peer->Handle(), "flood", SND_SEQ_PORT_CAP_READ,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(port, 0);
    int ownClient = -1;
    for (const SeqPort& p : peer->Ports()) {
        if (p.clientName == "Velmora Loss Test") {
            ownClient = p.address.client;
        }
    }
    ASSERT_GE(ownClient, 0);
    auto send = [&](snd_seq_event_t ev) {
        snd_seq_ev_set_source(&ev, static_cast<unsigned char>(port));
        snd_seq_ev_set_dest(&ev, static_cast<unsigned char>(ownClient), 0);
        snd_seq_ev_set_direct(&ev);
        return snd_seq_event_output_direct(peer->Handle(), &ev);
    };
    // One event larger than the whole input pool, and nothing after it: the
    // sequencer drops it, and the loss is counted although nothing more
    // comes to read (as at the end of a dump); the input goes on working.
    std::vector<std::uint8_t> huge = velmora::testing::SysexDump(60'000);
    snd_seq_event_t big;
    snd_seq_ev_clear(&big);
    snd_seq_ev_set_sysex(&big, static_cast<unsigned>(huge.size()), huge.data());
    EXPECT_LT(send(big), 0);
    ASSERT_TRUE(Eventually([&] { return own->LostEvents() > 0; }, std::chrono::seconds(30)));
    snd_seq_event_t note;
    snd_seq_ev_clear(&note);
    snd_seq_ev_set_noteon(&note, 0, 60, 64);
    ASSERT_TRUE(Eventually([&] {
        send(note);
        return !receiver.Shorts().empty();
    }));
    EXPECT_TRUE(receiver.Detach());
}

} // namespace
} // namespace velmora::midi
