// The input path on real JACK ports, in one run:
//  - throughput of the Monitor path (JACK client -> RtMidi -> delivery thread
//    -> callback -> hand-off to the Qt thread -> analysis -> return);
//  - the latency thru adds: a note from a keyboard client to a synth client
//    through Velmora's thru, against a direct JACK connection, on the wall
//    clock and in the server's cycles; once with
//    keyboard and synth as separate clients, once with one client at both
//    ends, and in each what thru at full rate delivers twice or never.
// Needs a running JACK server (bench/run-jack-bench starts one).
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

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
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    auto start = StartOnJack("jack_path_bench");
    if (!start) {
        return 1;
    }
    auto& peer = start->peer;
    JackPeer& synth = *start->synth;
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

        // 2. Latency and what arrives at the far end, for two topologies:
        //  (a) keyboard and synth as separate clients, as on a user's rig;
        //  (b) one client at both ends (a bridge holding a keyboard and a
        //      synth). Its output into Velmora and Velmora's output back into
        //      it close a loop in JACK's graph; the server breaks the loop,
        //      so that client reads Velmora's output without waiting for
        //      Velmora's cycle.
        JackPeer& keyboard = *peer;
        const std::string velmoraIn =
            keyboard.Ports(velmora::bench::kVelmoraIn, 0x1 /* input */).at(0);
        const std::string velmoraOut =
            keyboard.Ports(velmora::bench::kVelmoraOut, 0x2 /* output */).at(0);
        // Besides the clock on the wall, which a busy machine blurs: the
        // cycles from the one a note was played in to the one it arrived
        // in, by the server's frames (the median of the trips).
        constexpr std::uint32_t kPeriodFrames = 256;
        std::vector<std::uint32_t> cycles;
        auto trips = [&](JackPeer& listener) {
            cycles.clear();
            return TimeRoundTrips(
                300,
                [&](std::uint8_t note) {
                    keyboard.Send({0x90, note, 1});
                },
                [&] {
                    if (!listener.WaitForEvents(1, 2s)) {
                        return false;
                    }
                    const std::uint32_t frames =
                        listener.ReceivedFrames().at(0) - keyboard.LastSentFrame();
                    cycles.push_back(frames / kPeriodFrames);
                    return true;
                },
                [&] { listener.ClearReceived(); });
        };
        auto medianCycles = [&] {
            std::sort(cycles.begin(), cycles.end());
            return cycles.empty() ? 0u : cycles[cycles.size() / 2];
        };
        keyboard.Disconnect(keyboard.OutPort(), velmoraIn);
        synth.Disconnect(velmoraOut, synth.InPort());
        keyboard.Connect(keyboard.OutPort(), synth.InPort());
        const RoundTripFigures direct = trips(synth);
        const std::uint32_t directCycles = medianCycles();
        keyboard.Disconnect(keyboard.OutPort(), synth.InPort());
        // A client's output into its own input is a loop as well: that
        // client reads what it wrote a cycle before.
        keyboard.Connect(keyboard.OutPort(), keyboard.InPort());
        const RoundTripFigures directToItself = trips(keyboard);
        keyboard.Disconnect(keyboard.OutPort(), keyboard.InPort());

        // Thru at full rate, each note numbered: what arrives twice, what
        // never arrives, while the CPU is as busy as the machine makes it.
        auto numbered = [&](JackPeer& listener) {
            constexpr std::uint32_t kNotes = 1u << 14; // each number once
            listener.WaitCycles(4);
            listener.ClearReceived();
            const std::uint64_t xruns = keyboard.XRuns() + listener.XRuns();
            for (std::uint32_t i = 0; i < kNotes; ++i) {
                keyboard.Send({0x90, static_cast<std::uint8_t>(i >> 7 & 0x7F),
                               static_cast<std::uint8_t>(i & 0x7F)});
            }
            listener.WaitForEvents(kNotes, 5s);
            listener.WaitCycles(8);
            std::vector<int> seen(kNotes, 0);
            for (const auto& e : listener.Received()) {
                // PipeWire passes a note-on of velocity 0 on as a note-off.
                if (e.size() == 3 && e[0] == 0x90) {
                    ++seen[static_cast<std::size_t>(e[1] << 7 | e[2])];
                } else if (e.size() == 3 && e[0] == 0x80) {
                    ++seen[static_cast<std::size_t>(e[1] << 7)];
                }
            }
            std::uint64_t twice = 0, missing = 0;
            for (const int n : seen) {
                twice += n > 1 ? n - 1 : 0;
                missing += n == 0 ? 1 : 0;
            }
            std::printf(
                "    full rate %u notes: arrived %zu, twice %llu, never %llu, late cycles %llu\n",
                kNotes, listener.ReceivedCount(), static_cast<unsigned long long>(twice),
                static_cast<unsigned long long>(missing),
                static_cast<unsigned long long>(keyboard.XRuns() + listener.XRuns() - xruns));
        };

        std::printf("Round trip of a note, JACK period %.2f ms\n", period);
        PrintRoundTrips("direct", direct);
        PrintRoundTrips("direct to itself", directToItself);
        tags.thruOn = 1;
        // In (b) every note comes back to the client that played it, which
        // the loop guard rightly takes for a loop and stops: measured without.
        tags.loopGuardOn = 0;
        const struct {
            const char* what;
            JackPeer& listener;
        } topologies[] = {{"(a) keyboard and synth apart", synth},
                          {"(b) one client at both ends", keyboard}};
        // Velmora's input and output on its devices again; for (b) its
        // output also goes back into the keyboard, which closes the loop.
        // (Velmora's output stays on the synth throughout: an output whose
        // device went away sends nothing.)
        keyboard.Connect(keyboard.OutPort(), velmoraIn);
        synth.Connect(velmoraOut, synth.InPort());
        for (const auto& t : topologies) {
            if (&t.listener == &keyboard) {
                keyboard.Connect(velmoraOut, keyboard.InPort());
            }
            const RoundTripFigures thru = trips(t.listener);
            const std::uint32_t thruCycles = medianCycles();
            std::printf("  %s\n", t.what);
            PrintRoundTrips("through thru", thru);
            std::printf("  added by thru  median %.2f ms = %.2f periods; by the server's frames "
                        "%+d periods\n",
                        thru.medianMs - direct.medianMs, (thru.medianMs - direct.medianMs) / period,
                        static_cast<int>(thruCycles) - static_cast<int>(directCycles));
            numbered(t.listener);
        }
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    bench.join();
    session.Shutdown();
    return status;
}
