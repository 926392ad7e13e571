// The latency routing adds: a note from a JACK client routed to four outputs
// on four JACK ports, each received by its own JACK client, against a direct
// JACK connection, in one run. Needs a running JACK server
// (bench/run-jack-bench starts one).
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench_support.h"
#include "jack_peer.h"
#include "midi/midi_session.h"
#include "midi/rtmidi/rtmidi_service.h"

using namespace velmora;
using namespace velmora::midi;
using namespace velmora::bench;
using velmora::jacktest::JackPeer;
using namespace std::chrono_literals;

namespace {

// Times notes from `keys` until every listener has its copy.
RoundTripFigures RoundTrips(JackPeer& keys, const std::vector<JackPeer*>& listeners) {
    return TimeRoundTrips(
        300,
        [&](std::uint8_t note) {
            keys.Send({0x90, note, 1});
        },
        [&] {
            bool all = true;
            for (auto* l : listeners) {
                all = l->WaitForEvents(1, 2s) && all;
            }
            return all;
        },
        [&] {
            for (auto* l : listeners) {
                l->ClearReceived();
            }
        });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string error;
    auto keys = JackPeer::Open("keys", &error);
    std::vector<std::unique_ptr<JackPeer>> synths;
    for (int k = 1; k <= 4; ++k) {
        synths.push_back(JackPeer::Open("synth" + std::to_string(k), &error));
    }
    auto service = CreateRtMidiService("jack", &error);
    if (!keys || !service || !synths[3]) {
        std::fprintf(stderr, "router_bench: %s\n", error.c_str());
        return 1;
    }
    std::vector<JackPeer*> listeners;
    for (auto& s : synths) {
        listeners.push_back(s.get());
    }

    // Direct: the keyboard connected straight to the four synths.
    for (auto* s : listeners) {
        keys->Connect(keys->OutPort(), s->InPort());
    }
    std::this_thread::sleep_for(100ms);
    const RoundTripFigures direct = RoundTrips(*keys, listeners);
    for (auto* s : listeners) {
        keys->Disconnect(keys->OutPort(), s->InPort());
    }

    // Routed: Velmora's input, four router outputs on four ports.
    PrintReporter reporter;
    IgnoreHandOffs window;
    MidiSession session(*service, reporter, window);
    MidiFunctions& midi = session.midi();
    RouterSettings& router = session.router();
    midi.MidiInDeviceName = keys->OutPort();
    for (int k = 1; k <= 4; ++k) {
        midi.OpenRouterOut(k, synths[k - 1]->InPort());
        router.outputs[static_cast<std::size_t>(k - 1)].portNumber = k;
        router.outputs[static_cast<std::size_t>(k - 1)].channelIndex = k;
    }
    midi.InputMode = kMultiOut;
    if (!session.OpenInput()) {
        return 1;
    }
    std::this_thread::sleep_for(300ms);
    const RoundTripFigures routed = RoundTrips(*keys, listeners);
    session.Shutdown();

    const double period = 256.0 / 48000.0 * 1000.0;
    std::printf("Note to four synths, JACK dummy driver, period %.2f ms\n", period);
    PrintRoundTrips("direct", direct);
    PrintRoundTrips("routed (4 out)", routed);
    std::printf("  added           median %.2f ms = %.2f periods\n",
                routed.medianMs - direct.medianMs, (routed.medianMs - direct.medianMs) / period);
    return direct.lost + routed.lost == 0 ? 0 : 3;
}
