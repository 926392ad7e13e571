#include "midi/ui_signal.h"

#include "support/eventually.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

using velmora::midi::UiSignal;
using velmora::midi::UiSignalReceiver;

namespace {

class Recorder : public UiSignalReceiver {
  public:
    void HandleSignal(char code) override {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        codes.push_back(code);
        ++handled;
    }
    std::vector<char> codes;
    std::atomic<int> handled{0};
};

// Swallows the queued calls posted to an object instead of running them.
class PostedCallCatcher : public QObject {
  public:
    explicit PostedCallCatcher(QObject& target) { target.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) {
            ++caught;
            return true;
        }
        return false;
    }
    int caught = 0;
};

int argc = 1;
char arg0[] = "ui_signal_test";
char* argv[] = {arg0, nullptr};

} // namespace

// Every raise from another thread runs on the window thread, in order, and
// the raising thread resumes only after its handler has finished.
TEST(UiSignal, RaisesAreHandledOnTheWindowThreadInOrder) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    std::vector<int> seenAfterRaise;
    std::thread midi([&] {
        for (int i = 0; i < 500; ++i) {
            signal.Raise(i % 2 ? '2' : '1');
            seenAfterRaise.push_back(recorder.handled.load());
        }
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    midi.join();
    ASSERT_EQ(recorder.codes.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(recorder.codes[static_cast<std::size_t>(i)], i % 2 ? '2' : '1');
        EXPECT_EQ(seenAfterRaise[static_cast<std::size_t>(i)], i + 1);
    }
}

// The window thread, blocked waiting for the MIDI thread without running its
// event loop, still serves the raise through ServePending.
TEST(UiSignal, ServePendingWhileTheWindowThreadWaits) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    std::atomic<bool> done{false};
    std::thread midi([&] {
        signal.Raise('2');
        done.store(true);
    });
    while (!done.load()) { // no event loop here
        signal.ServePending();
        std::this_thread::yield();
    }
    midi.join();
    EXPECT_EQ(recorder.codes, std::vector<char>{'2'});
    // The queued call that was posted finds nothing left to do.
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.codes.size(), 1u);
}

TEST(UiSignal, ShutdownReleasesAWaitingRaiseAndLaterOnes) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    // The call a raise posts to the window thread is held back, so nobody
    // serves it; that it was posted shows the raise is waiting.
    PostedCallCatcher posted(signal);
    std::thread midi([&] {
        signal.Raise('1');
        signal.Raise('2');
    });
    EXPECT_TRUE(velmora::testing::Eventually([&] {
        QCoreApplication::processEvents();
        return posted.caught > 0;
    }));
    signal.Shutdown();
    midi.join();
    EXPECT_TRUE(recorder.codes.empty());
    EXPECT_EQ(signal.Abandoned(), 2u);
}

TEST(UiSignal, RaiseOnTheWindowThreadRunsAtOnce) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    signal.Raise('2');
    EXPECT_EQ(recorder.codes, std::vector<char>{'2'});
}

// A front end without a window: each raise is handled on the raising thread,
// with no event posted, and nothing is handled after Shutdown.
TEST(UiSignal, HandledOnTheRaisingThreadWhenAskedAndNotAfterShutdown) {
    QCoreApplication app(argc, argv);
    struct : UiSignalReceiver {
        void HandleSignal(char code) override {
            handled.emplace_back(code, std::this_thread::get_id());
        }
        std::vector<std::pair<char, std::thread::id>> handled;
    } receiver;
    UiSignal signal(receiver);
    PostedCallCatcher posted(signal);
    signal.HandleOnRaisingThread();
    std::thread::id midiId;
    std::thread midi([&] {
        midiId = std::this_thread::get_id();
        signal.Raise('2');
        signal.Raise('1');
        signal.Shutdown();
        signal.Raise('2');
    });
    midi.join();
    QCoreApplication::processEvents();
    const std::vector<std::pair<char, std::thread::id>> expected{{'2', midiId}, {'1', midiId}};
    EXPECT_EQ(receiver.handled, expected);
    EXPECT_EQ(posted.caught, 0);
    EXPECT_EQ(signal.Abandoned(), 1u);
}
