// What a JACK benchmark starts with: a peer client that plays and listens,
// and Velmora's JACK service. Says why there is none, as `bench`.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "bench_support.h"
#include "jack_peer.h"
#include "midi/rtmidi_service.h"

namespace velmora::bench {

struct JackBenchStart {
    std::unique_ptr<jacktest::JackPeer> peer;
    std::unique_ptr<midi::MidiService> service;
    PrintReporter reporter;
};

inline std::unique_ptr<JackBenchStart> StartOnJack(const char* bench) {
    std::string error;
    auto start = std::make_unique<JackBenchStart>();
    start->peer = jacktest::JackPeer::Open("bench", &error);
    start->service = midi::CreateRtMidiService("jack", &error);
    if (!start->peer || !start->service) {
        std::fprintf(stderr, "%s: %s\n", bench, error.c_str());
        return nullptr;
    }
    return start;
}

} // namespace velmora::bench
