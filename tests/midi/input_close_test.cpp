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
#include "midi/simulated_service.h"
#include "midi/ui_signal.h"
#include "support/recording_reporter.h"

using namespace velmora::midi;
using namespace std::chrono_literals;

namespace {

class Counter : public UiSignalReceiver {
  public:
    void HandleSignal(char) override { handled.fetch_add(1); }
    std::atomic<int> handled{0};
};

// Aborts the test program if the test hangs, so a deadlock fails loudly.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              const auto until = std::chrono::steady_clock::now() + limit;
              while (!done_.load()) {
                  if (std::chrono::steady_clock::now() > until) {
                      std::fprintf(stderr, "watchdog: the test hung\n");
                      std::abort();
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~Watchdog() {
        done_.store(true);
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

int argc = 1;
char arg0[] = "input_close_test";
char* argv[] = {arg0, nullptr};

} // namespace

TEST(InputClose, DuringAFloodOfHandOffsNeverDeadlocks) {
    Watchdog watchdog(20s);
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
            std::vector<std::uint8_t> dump(6000, 0x11);
            dump.front() = 0xF0;
            dump.back() = 0xF7;
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
        std::chrono::steady_clock::duration closeTook{};
        const int before = counter.handled.load();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (counter.handled.load() - before < 20000) {
                return; // close in mid-flood
            }
            poll.stop();
            const auto start = std::chrono::steady_clock::now();
            closed = midi.CloseMidiIn();
            closeTook = std::chrono::steady_clock::now() - start;
            app.quit();
        });
        poll.start(0);
        app.exec();
        stop.store(true);
        flood.join();
        EXPECT_TRUE(closed);
        EXPECT_LT(closeTook, 1s);
        EXPECT_GT(service.Sent(0).size(), 0u);
        EXPECT_FALSE(midi.InputActive.load());
        EXPECT_EQ(midi.InputBufferCount(), 0u);
    }
    EXPECT_TRUE(midi.CloseMidiOut());
    EXPECT_TRUE(reporter.Texts().empty());
}
