// The latency routing adds: a note from a JACK client routed to four outputs
// on four JACK ports, each received by its own JACK client, against a direct
// JACK connection, in one run. Needs a running JACK server
// (bench/run-jack-bench starts one).
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "jack_peer.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "midi/rtmidi_service.h"
#include "midi/ui_signal.h"

using namespace velmora;
using namespace velmora::midi;
using velmora::jacktest::JackPeer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

class PrintReporter : public Reporter {
  public:
    void Report(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

class NoWindow : public UiSignalReceiver {
  public:
    void HandleSignal(char) override {}
};

struct Figures {
    double median = 0, p95 = 0, max = 0;
    int lost = 0;
};

// Times `count` notes from `keys` until every listener has its copy.
Figures RoundTrips(JackPeer& keys, std::vector<JackPeer*> listeners, int count) {
    std::vector<double> ms;
    Figures f;
    for (int i = 0; i < count; ++i) {
        for (auto* l : listeners) {
            l->ClearReceived();
        }
        const auto start = Clock::now();
        keys.Send({0x90, static_cast<std::uint8_t>(i % 128), 1});
        bool all = true;
        for (auto* l : listeners) {
            all = l->WaitForEvents(1, 2s) && all;
        }
        if (!all) {
            ++f.lost;
            continue;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::microseconds(700 + (i * 131) % 3000));
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        f.median = ms[ms.size() / 2];
        f.p95 = ms[ms.size() * 95 / 100];
        f.max = ms.back();
    }
    return f;
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
    const Figures direct = RoundTrips(*keys, listeners, 300);
    for (auto* s : listeners) {
        keys->Disconnect(keys->OutPort(), s->InPort());
    }

    // Routed: Velmora's input, four router outputs on four ports.
    PrintReporter reporter;
    MidiFunctions midi(*service, reporter);
    NoWindow window;
    UiSignal signal(window);
    MainWindowTags tags;
    RouterSettings router;
    MidiInCallback callback(midi, tags, router, signal);
    midi.StartClock();
    std::vector<std::string> ins, outs;
    midi.ListMidiInDevices(ins);
    midi.ListMidiOutDevices(outs);
    midi.MidiInDevice = static_cast<int>(
        std::find(ins.begin(), ins.end(), keys->OutPort()) - ins.begin());
    for (int k = 1; k <= 4; ++k) {
        const auto device = std::find(outs.begin(), outs.end(), synths[k - 1]->InPort());
        midi.OpenRouterOut(k, static_cast<int>(device - outs.begin()));
        router.outputs[static_cast<std::size_t>(k - 1)].portNumber = k;
        router.outputs[static_cast<std::size_t>(k - 1)].channelIndex = k;
    }
    midi.InputMode = kMultiOut;
    if (!midi.OpenMidiIn(callback.AsCallback())) {
        return 1;
    }
    std::this_thread::sleep_for(300ms);
    const Figures routed = RoundTrips(*keys, listeners, 300);
    midi.CloseMidiIn();
    for (int k = 1; k <= 4; ++k) {
        midi.CloseRouterOut(k);
    }

    const double period = 256.0 / 48000.0 * 1000.0;
    std::printf("Note to four synths, JACK dummy driver, period %.2f ms\n", period);
    std::printf("  direct          median %.2f ms, p95 %.2f ms, max %.2f ms, lost %d\n",
                direct.median, direct.p95, direct.max, direct.lost);
    std::printf("  routed (4 out)  median %.2f ms, p95 %.2f ms, max %.2f ms, lost %d\n",
                routed.median, routed.p95, routed.max, routed.lost);
    std::printf("  added           median %.2f ms = %.2f periods\n", routed.median - direct.median,
                (routed.median - direct.median) / period);
    return direct.lost + routed.lost == 0 ? 0 : 3;
}
