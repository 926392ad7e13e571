// velmora-cli play and panic on real JACK ports: a peer listens.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/midi_file.h"
#include "jack_peer.h"
#include "support/child_process.h"

using velmora::jacktest::JackPeer;
using velmora::testing::ChildProcess;
using namespace velmora;
using namespace std::chrono_literals;

namespace {

const std::string kCli = VELMORA_CLI;
using Event = JackPeer::Event;

MidiFileEvent At(std::uint64_t tick, MidiFileEventKind kind, std::vector<std::uint8_t> bytes,
                 std::uint8_t meta = 0) {
    return {tick, kind, meta, std::move(bytes)};
}

std::string WriteFile(const MidiFile& file) {
    std::string folder = ::testing::TempDir() + "velmora-play-XXXXXX";
    EXPECT_NE(::mkdtemp(folder.data()), nullptr);
    const std::vector<std::uint8_t> bytes = WriteMidiFile(file);
    std::ofstream(folder + "/song.mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return folder + "/song.mid";
}

} // namespace

TEST(PlayOnJack, PlaysATypeOneFileWithTempoChangesAndSysexInOrderAndOnTime) {
    std::string error;
    auto synth = JackPeer::Open("play-synth", &error);
    ASSERT_TRUE(synth) << error;
    using K = MidiFileEventKind;
    MidiFile file;
    file.format = 1;
    file.division = 96;
    // Fast: 240 BPM, then 480 BPM from tick 96; the whole song takes 0.5 s.
    file.tracks.push_back({{At(0, K::Meta, {0x03, 0xD0, 0x90}, kMetaTempo),
                            At(96, K::Meta, {0x01, 0xE8, 0x48}, kMetaTempo)}});
    file.tracks.push_back({{At(48, K::Midi, {0x90, 60, 100}), At(96, K::Midi, {0x80, 60, 64}),
                            At(120, K::Sysex, {0xF0, 0x7D, 0x01, 0x02, 0xF7}),
                            At(144, K::Escape, {0xF8}), At(192, K::Midi, {0xC3, 0x05})}});
    const std::string path = WriteFile(file);
    const std::vector<Event> expected = {
        {0x90, 60, 100}, {0x80, 60, 64}, {0xF0, 0x7D, 0x01, 0x02, 0xF7}, {0xF8}, {0xC3, 0x05}};
    // A note-off as such: PipeWire turns a note-on of velocity 0 into one.
    // A cycle the server ran late drops its MIDI: such a take is repeated.
    bool whole = false;
    for (int attempt = 0; attempt < 5 && !whole; ++attempt) {
        synth->ClearReceived();
        const auto xruns = synth->XRuns();
        ChildProcess play({kCli, "play", path, "--api", "jack", "-o", synth->InPort()});
        ASSERT_EQ(play.Wait(30s), 0) << play.Errors();
        EXPECT_NE(play.Errors().find("5 events of"), std::string::npos) << play.Errors();
        synth->WaitForEvents(expected.size(), 2s);
        whole = synth->Received() == expected;
        const bool late = synth->XRuns() != xruns;
        if (!whole && !late) {
            EXPECT_EQ(synth->Received(), expected);
            break;
        }
        if (whole && !late) {
            // Each event within one period of its time in the file, from
            // the first one on, in the server's frames: 0, 125, 156.25,
            // 187.5 and 250 ms.
            const std::vector<double> due = {0, 0.125, 0.15625, 0.1875, 0.25};
            const std::vector<std::uint32_t> frames = synth->ReceivedFrames();
            const double period = 256.0 / synth->SampleRate();
            for (std::size_t i = 0; i < due.size(); ++i) {
                EXPECT_NEAR((frames[i] - frames[0]) / double(synth->SampleRate()), due[i], period)
                    << "event " << i;
            }
        }
    }
    EXPECT_TRUE(whole) << "the server ran late in every take";
}

TEST(PlayOnJack, AnInterruptSilencesTheChannelsUsedAndPanicSilencesAll) {
    std::string error;
    auto synth = JackPeer::Open("play-held", &error);
    ASSERT_TRUE(synth) << error;
    using K = MidiFileEventKind;
    MidiFile file;
    file.division = 96;
    // A note on channel 3 held for a thousand quarter notes: never ends by itself.
    file.tracks.push_back({{At(0, K::Midi, {0x92, 64, 90}), At(96000, K::Midi, {0x82, 64, 0})}});
    const std::string path = WriteFile(file);
    ChildProcess play({kCli, "play", path, "--api", "jack", "-o", synth->InPort()});
    ASSERT_TRUE(synth->WaitForEvents(1, 30s)) << play.Errors();
    play.Signal(SIGINT);
    EXPECT_EQ(play.Wait(), 130) << play.Errors();
    ASSERT_TRUE(synth->WaitForEvents(4));
    EXPECT_EQ(synth->Received(),
              (std::vector<Event>{{0x92, 64, 90}, {0x82, 64, 0}, {0xB2, 123, 0}, {0xB2, 64, 0}}));

    // A cycle the server ran late drops its MIDI: such a panic is repeated.
    bool whole = false;
    for (int attempt = 0; attempt < 5 && !whole; ++attempt) {
        synth->ClearReceived();
        const auto xruns = synth->XRuns();
        ChildProcess panic({kCli, "panic", "--api", "jack", "-o", synth->InPort()});
        ASSERT_EQ(panic.Wait(30s), 0) << panic.Errors();
        whole = synth->WaitForEvents(16 * 128 + 32, 10s);
        if (!whole && synth->XRuns() != xruns) {
            continue;
        }
        ASSERT_TRUE(whole) << synth->ReceivedCount();
        const std::vector<Event> got = synth->Received();
        EXPECT_EQ(got.front(), (Event{0x80, 0, 0}));
        EXPECT_EQ(got[16 * 128 - 1], (Event{0x8F, 127, 0}));
        EXPECT_EQ(got[16 * 128], (Event{0xB0, 123, 0}));
        EXPECT_EQ(got.back(), (Event{0xBF, 64, 0}));
    }
    EXPECT_TRUE(whole) << "the server ran late in every take";
}
