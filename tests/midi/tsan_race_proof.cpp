// Proof, for a ThreadSanitizer build only, that a race inside a hand-off
// handler is reported although Qt's event loop calls the handler: the
// handler reads a plain counter that another thread writes without any
// ordering. scripts/test expects this program to fail with a data race.
#include <QCoreApplication>
#include <atomic>
#include <cstdio>
#include <thread>

#include "midi/ui_signal.h"

namespace {

int gUnguarded = 0; // deliberately shared without a lock or an atomic

class RacyReceiver : public velmora::midi::UiSignalReceiver {
  public:
    void HandleSignal(const velmora::midi::Handed&) override { seen += gUnguarded; }
    long seen = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RacyReceiver receiver;
    velmora::midi::UiSignal signal(receiver);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            ++gUnguarded; // nothing orders this with the handler's read
        }
    });
    std::thread midi([&] {
        for (int i = 0; i < 1000; ++i) {
            signal.Raise(velmora::midi::Handed{velmora::midi::HandedKind::Short, 0x90, {}});
        }
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    midi.join();
    stop.store(true);
    writer.join();
    std::printf("handled %ld\n", receiver.seen);
    return 0;
}
