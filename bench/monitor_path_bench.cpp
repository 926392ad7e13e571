// Throughput of the Monitor path: the service's delivery thread, the input
// callback, the hand-off to the Qt thread, a handler that runs the analysis
// and the events history, and the return. Prints its figures.
//
//   monitor_path_bench [messages]      simulated service, as fast as it goes
//   monitor_path_bench --paced RATE S  RATE messages/s for S seconds
//
// Also how soon the demo keyboard stops on a reset and on a close: a player
// that only looked up between loops of its performance would take seconds.
#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "bench_support.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "midi/midi_session.h"
#include "midi/simulated/simulated_service.h"
#include "midi/ui_signal.h"

using namespace velmora;
using namespace velmora::midi;
using namespace velmora::bench;

namespace {

ShortMessage Nth(std::uint64_t i) {
    return PackShortMessage(static_cast<std::uint8_t>(0x90 | (i % 16)),
                            static_cast<std::uint8_t>(i % 128), 100);
}

// Times the demo keyboard's reset and close while it plays.
void PrintDemoStops() {
    auto service = CreateDemoService();
    std::atomic<int> heard{0};
    auto port = service->OpenIn(0, [&](const InputEvent&) { heard.fetch_add(1); });
    if (!port || !port->Start()) {
        std::printf("demo keyboard: could not start\n");
        return;
    }
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (heard.load() < 20 && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto start = Clock::now();
    port->Reset({});
    const double resetMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    port->Start();
    start = Clock::now();
    port->Close({});
    const double closeMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("demo keyboard\n");
    std::printf("  reset while playing  %.2f ms\n", resetMs);
    std::printf("  close while playing  %.2f ms\n", closeMs);
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t total = 200000;
    double rate = 0, seconds = 0;
    if (argc >= 4 && std::strcmp(argv[1], "--paced") == 0) {
        rate = std::atof(argv[2]);
        seconds = std::atof(argv[3]);
        total = static_cast<std::uint64_t>(rate * seconds);
    } else if (argc >= 2) {
        total = std::strtoull(argv[1], nullptr, 10);
    }

    QCoreApplication app(argc, argv);
    SimulatedService service({"Synth"}, {"Keys"});
    service.SetInputQueueBytes(std::size_t{64} << 20);
    PrintReporter reporter;
    AnalysingReceiver receiver;
    MidiSession session(service, reporter, receiver);
    MidiFunctions& midi = session.midi();
    receiver.Attach(midi);
    midi.ChooseMidiIn(0);
    if (!session.OpenInput()) {
        return 1;
    }

    std::uint64_t refused = 0;
    const auto start = Clock::now();
    std::thread player([&] {
        for (std::uint64_t i = 0; i < total; ++i) {
            if (rate > 0) {
                std::this_thread::sleep_until(
                    start + std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 * i / rate)));
            }
            if (!service.InjectShort(0, Nth(i))) {
                ++refused;
            }
        }
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (receiver.handled.load() + refused >= total) {
            app.quit();
        }
    });
    poll.start(1);
    app.exec();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    player.join();
    const auto lost = midi.LostInputEvents();
    session.Shutdown();

    std::printf("monitor path, simulated service%s\n", rate > 0 ? ", paced" : ", unpaced burst");
    std::printf("  messages sent      %llu\n", static_cast<unsigned long long>(total));
    std::printf("  messages shown     %llu\n",
                static_cast<unsigned long long>(receiver.handled.load()));
    std::printf("  lost               %llu\n", static_cast<unsigned long long>(lost + refused));
    std::printf("  elapsed            %.3f s\n", elapsed);
    std::printf("  throughput         %.0f messages/s\n", receiver.handled.load() / elapsed);
    std::printf("  per message        %.2f us\n", 1e6 * elapsed / static_cast<double>(total));
    PrintDemoStops();
    return lost + refused == 0 ? 0 : 3;
}
