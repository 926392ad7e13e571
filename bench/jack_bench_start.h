// What a JACK benchmark starts with: a peer client that plays and listens,
// and Velmora's JACK service. Says why there is none, as `bench`.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "jack_peer.h"
#include "midi/rtmidi_service.h"

namespace velmora::bench {

struct JackBenchStart {
    std::unique_ptr<jacktest::JackPeer> peer;
    std::unique_ptr<midi::MidiService> service;
};

inline std::optional<JackBenchStart> StartOnJack(const char* bench) {
    std::string error;
    JackBenchStart start{jacktest::JackPeer::Open("bench", &error),
                         midi::CreateRtMidiService("jack", &error)};
    if (!start.peer || !start.service) {
        std::fprintf(stderr, "%s: %s\n", bench, error.c_str());
        return std::nullopt;
    }
    return start;
}

} // namespace velmora::bench
