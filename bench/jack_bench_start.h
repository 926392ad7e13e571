// What a JACK benchmark starts with: a keyboard client that plays into
// Velmora, a separate synth client that listens to it (as on a user's rig:
// one client at both ends would be a loop in JACK's graph, see
// jack_path_bench), and Velmora's JACK service: its own, or RtMidi's with
// VELMORA_BENCH_SERVICE=jack-rtmidi. Says why there is none, as `bench`.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "bench_support.h"
#include "jack_peer.h"
#include "midi/midi_session.h"
#include "midi/service_factory.h"

namespace velmora::bench {

struct JackBenchStart {
    std::unique_ptr<jacktest::JackPeer> peer;  // the keyboard
    std::unique_ptr<jacktest::JackPeer> synth; // where Velmora's output goes
    std::unique_ptr<midi::MidiService> service;
    PrintReporter reporter;
};

inline std::unique_ptr<JackBenchStart> StartOnJack(const char* bench) {
    std::string error;
    auto start = std::make_unique<JackBenchStart>();
    start->peer = jacktest::JackPeer::Open("bench", &error);
    if (start->peer) {
        start->synth = jacktest::JackPeer::Open("bench synth", &error);
    }
    const char* api = std::getenv("VELMORA_BENCH_SERVICE");
    start->service = midi::CreateMidiService(api != nullptr ? api : "jack", &error);
    if (!start->peer || !start->synth || !start->service) {
        std::fprintf(stderr, "%s: %s\n", bench, error.c_str());
        return nullptr;
    }
    std::printf("Service: %s\n", api != nullptr ? api : "jack (Velmora's own)");
    return start;
}

// Velmora's ports, under either service's names ("Velmora:in", "Velmora in:in").
inline constexpr const char* kVelmoraIn = "^Velmora( in)?(-[0-9]+)?:in$";
inline constexpr const char* kVelmoraOut = "^Velmora( out)?(-[0-9]+)?:out$";

// Opens the session's input on the keyboard and its main output on the synth.
inline bool OpenOnPeer(midi::MidiSession& session, const JackBenchStart& start, const char* bench) {
    session.midi().MidiInDeviceName = start.peer->OutPort();
    session.midi().MidiOutDeviceName = start.synth->InPort();
    if (!session.midi().OpenMidiOut() || !session.OpenInput()) {
        std::fprintf(stderr, "%s: cannot open the peer's ports\n", bench);
        return false;
    }
    return true;
}

} // namespace velmora::bench
