// Closing the input from the window thread while the MIDI thread floods it
// with hand-offs: the close serves the hand-offs it waits on, so it returns
// promptly and never deadlocks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "midi/midi_session.h"
#include "midi/simulated/simulated_service.h"
#include "midi/ui_signal.h"
#include "support/recording_reporter.h"
#include "support/sysex_dump.h"
#include "support/watchdog.h"

using namespace velmora::midi;
using namespace std::chrono_literals;

namespace {

class Counter : public UiSignalReceiver {
  public:
    void HandleSignal(const Handed&) override { handled.fetch_add(1); }
    std::atomic<int> handled{0};
};

int argc = 1;
char arg0[] = "input_close_test";
char* argv[] = {arg0, nullptr};

} // namespace

TEST(InputClose, DuringAFloodOfHandOffsNeverDeadlocks) {
    velmora::testing::Watchdog watchdog(180s);
    QCoreApplication app(argc, argv);
    SimulatedService service({"Synth"}, {"Keys"});
    velmora::testing::RecordingReporter reporter;
    Counter counter;
    MidiSession session(service, reporter, counter);
    MidiFunctions& midi = session.midi();
    midi.ChooseMidiOut(0);
    midi.ChooseMidiIn(0);
    ASSERT_TRUE(session.OpenThru());

    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(session.OpenInput());
        std::atomic<bool> stop{false};
        std::thread flood([&] {
            const auto dump = velmora::testing::SysexDump(6000, 0x11, 0);
            for (int i = 0; i < 100000 && !stop.load(); ++i) {
                service.InjectShort(0, velmora::PackShortMessage(0x90, i % 128, 1));
                if (i % 1000 == 0) {
                    service.InjectSysex(0, dump);
                }
            }
        });
        // Let the flood get going through the event loop, then close from
        // inside it, as a click on the input switch would.
        bool closed = false;
        const int before = counter.handled.load();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (counter.handled.load() - before < 20000) {
                return; // close in mid-flood
            }
            poll.stop();
            closed = midi.CloseMidiIn();
            app.quit();
        });
        poll.start(0);
        app.exec();
        stop.store(true);
        flood.join();
        EXPECT_TRUE(closed);
        EXPECT_GT(service.Sent(0).size(), 0u);
        EXPECT_FALSE(midi.InputActive.load());
        EXPECT_EQ(midi.InputBufferCount(), 0u);
    }
    EXPECT_TRUE(midi.CloseMidiOut());
    EXPECT_TRUE(reporter.Texts().empty());
}
