// The input path on real JACK ports, in one run:
//  - throughput of the Monitor path (JACK client -> RtMidi -> delivery thread
//    -> callback -> hand-off to the Qt thread -> analysis -> return);
//  - the latency thru adds: a note from a JACK client back to a JACK client
//    through Velmora's thru, against a direct JACK connection.
// Needs a running JACK server (bench/run-jack-bench starts one).
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench_support.h"
#include "jack_bench_start.h"
#include "jack_peer.h"
#include "midi/midi_session.h"
#include "midi/rtmidi/rtmidi_service.h"

using namespace velmora;
using namespace velmora::midi;
using namespace velmora::bench;
using velmora::jacktest::JackPeer;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto start = StartOnJack("jack_path_bench");
    if (!start) {
        return 1;
    }
    auto& peer = start->peer;
    AnalysingReceiver receiver;
    MidiSession session(*start->service, start->reporter, receiver);
    MidiFunctions& midi = session.midi();
    InputPathState& tags = session.path();
    receiver.Attach(midi);

    if (!OpenOnPeer(session, *start, "jack_path_bench")) {
        return 1;
    }
    tags.mainOutOpen = 1;
    const double period = 256.0 / 48000.0 * 1000.0;

    int status = 0;
    std::thread bench([&] {
        // 1. Throughput: thru off, the peer plays as fast as JACK takes it.
        tags.thruOn = 0;
        peer->WaitForPort(peer->OutPort());
        std::this_thread::sleep_for(200ms);
        const std::uint64_t total = 100000;
        const auto before = receiver.handled.load();
        const auto start = Clock::now();
        for (std::uint64_t i = 0; i < total; ++i) {
            peer->Send({static_cast<std::uint8_t>(0x90 | (i % 16)),
                        static_cast<std::uint8_t>(i % 128), 100});
        }
        // Until all have come, or nothing more for a second (JACK drops the
        // MIDI of a cycle the server ran late).
        auto lastArrival = Clock::now();
        std::uint64_t seen = 0;
        while (receiver.handled.load() - before < total && Clock::now() - lastArrival < 1s) {
            std::this_thread::sleep_for(1ms);
            if (const auto now = receiver.handled.load() - before; now != seen) {
                seen = now;
                lastArrival = Clock::now();
            }
        }
        const double secs = std::chrono::duration<double>(lastArrival - start).count();
        const auto shown = receiver.handled.load() - before;
        std::printf("Monitor path over JACK (dummy driver, 48 kHz, period 256)\n");
        std::printf("  messages sent %llu, shown %llu, lost in Velmora %llu\n",
                    static_cast<unsigned long long>(total), static_cast<unsigned long long>(shown),
                    static_cast<unsigned long long>(midi.LostInputEvents()));
        std::printf("  late JACK cycles (their MIDI is dropped by JACK) %llu\n",
                    static_cast<unsigned long long>(peer->XRuns()));
        std::printf("  throughput    %.0f messages/s\n", shown / secs);
        if (shown != total) {
            status = 3;
        }

        // 2. Latency: direct connection, then through Velmora's thru.
        const std::string velmoraOut = peer->Ports(velmora::bench::kVelmoraOut, 0x2 /* output */).at(0);
        peer->Disconnect(velmoraOut, peer->InPort());
        peer->Disconnect(peer->OutPort(), peer->Ports(velmora::bench::kVelmoraIn, 0x1 /* input */).at(0));
        peer->Connect(peer->OutPort(), peer->InPort());
        std::this_thread::sleep_for(100ms);
        auto trips = [&] {
            return TimeRoundTrips(
                300,
                [&](std::uint8_t note) {
                    peer->Send({0x90, note, 1});
                },
                [&] { return peer->WaitForEvents(1, 2s); }, [&] { peer->ClearReceived(); });
        };
        const RoundTripFigures direct = trips();
        peer->Disconnect(peer->OutPort(), peer->InPort());
        peer->Connect(peer->OutPort(), peer->Ports(velmora::bench::kVelmoraIn, 0x1).at(0));
        peer->Connect(velmoraOut, peer->InPort());
        tags.thruOn = 1;
        std::this_thread::sleep_for(100ms);
        const RoundTripFigures thru = trips();
        std::printf("Round trip of a note, JACK period %.2f ms\n", period);
        PrintRoundTrips("direct", direct);
        PrintRoundTrips("through thru", thru);
        std::printf("  added by thru  median %.2f ms = %.2f periods\n",
                    thru.medianMs - direct.medianMs, (thru.medianMs - direct.medianMs) / period);
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    bench.join();
    session.Shutdown();
    return status;
}
