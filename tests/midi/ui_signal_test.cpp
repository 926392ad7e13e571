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

using velmora::midi::Handed;
using velmora::midi::HandedKind;
using velmora::midi::UiSignal;
using velmora::midi::UiSignalReceiver;

namespace {

class Recorder : public UiSignalReceiver {
  public:
    void HandleSignal(const Handed& handed) override {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        messages.push_back(handed.message);
        blocks.emplace_back(handed.sysex.begin(), handed.sysex.end());
        ++handled;
    }
    void StreamEnded() override { ++ended; }
    std::vector<velmora::ShortMessage> messages;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::atomic<int> handled{0};
    int ended = 0;
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

Handed Short(velmora::ShortMessage message) {
    return Handed{HandedKind::Short, message, {}};
}

int argc = 1;
char arg0[] = "ui_signal_test";
char* argv[] = {arg0, nullptr};

} // namespace

// A burst raised while the window thread is busy elsewhere is handled in one
// wake-up, in order, each message with its own bytes; the raising thread
// did not wait for any of it.
TEST(UiSignal, ABurstIsHandledInOneWakeUpInOrder) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    signal.SetSlice(std::chrono::seconds(60)); // one wake-up even on a slow machine
    std::thread midi([&] {
        for (std::uint8_t i = 0; i < 200; ++i) {
            const std::vector<std::uint8_t> block{0xF0, i, 0xF7};
            signal.Raise(i % 20 == 0 ? Handed{HandedKind::Sysex, 0, block} : Short(i));
        }
    });
    midi.join(); // returned without the window thread handling anything
    EXPECT_EQ(recorder.handled.load(), 0);
    EXPECT_TRUE(velmora::testing::Eventually([&] {
        QCoreApplication::processEvents();
        return recorder.handled.load() == 200;
    }));
    EXPECT_EQ(signal.Wakeups(), 1u);
    for (std::uint8_t i = 0; i < 200; ++i) {
        const bool sysex = i % 20 == 0;
        EXPECT_EQ(recorder.messages[i], sysex ? 0u : i);
        EXPECT_EQ(recorder.blocks[i],
                  sysex ? std::vector<std::uint8_t>({0xF0, i, 0xF7}) : std::vector<std::uint8_t>{});
    }
}

// More than the ring holds, short messages and sysex blocks: the raising
// thread waits for room, and the window thread, blocked waiting for the MIDI
// thread without running its event loop, makes room through ServePending.
TEST(UiSignal, AFullRingWaitsForTheWindowThread) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    constexpr std::size_t kShorts = UiSignal::kSlots + 100;
    constexpr std::size_t kBlocks = UiSignal::kSysexSlots * 3;
    const std::vector<std::uint8_t> block(UiSignal::kSysexBytes, 0x55);
    std::atomic<bool> done{false};
    std::thread midi([&] {
        for (std::size_t i = 0; i < kShorts; ++i) {
            signal.Raise(Short(static_cast<velmora::ShortMessage>(i)));
        }
        for (std::size_t i = 0; i < kBlocks; ++i) {
            signal.Raise(Handed{HandedKind::Sysex, 0, block});
        }
        done.store(true);
    });
    while (!done.load()) { // no event loop here
        signal.ServePending();
        std::this_thread::yield();
    }
    midi.join();
    signal.ServePending();
    ASSERT_EQ(recorder.messages.size(), kShorts + kBlocks);
    for (std::size_t i = 0; i < kShorts; ++i) {
        ASSERT_EQ(recorder.messages[i], i);
    }
    for (std::size_t i = kShorts; i < kShorts + kBlocks; ++i) {
        ASSERT_EQ(recorder.blocks[i], block);
    }
    // The wake-up left behind finds nothing to do.
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.messages.size(), kShorts + kBlocks);
}

// Shutdown releases a raise waiting for room; what waited and what comes
// later is not handled, and counted.
TEST(UiSignal, ShutdownReleasesAWaitingRaiseAndLaterOnes) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    std::thread midi([&] {
        for (std::size_t i = 0; i < UiSignal::kSlots + 2; ++i) {
            signal.Raise(Short(0x90));
        }
    });
    EXPECT_TRUE(velmora::testing::Eventually([&] { return signal.Queued() == UiSignal::kSlots; }));
    signal.Shutdown();
    midi.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(signal.Abandoned(), UiSignal::kSlots + 2);
}

// A paced stream: its first message is served at once; those that follow
// wait for the pace's end without waking the window thread; the serve that
// finds nothing ends the stream, and the receiver hears that once.
TEST(UiSignal, APacedStreamIsServedAPaceAtATimeAndItsEndIsHeardOnce) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    signal.SetPace(std::chrono::hours(1)); // the pace ends where the test calls ServePending
    const auto raise = [&](velmora::ShortMessage m) {
        std::thread([&] { signal.Raise(Short(m)); }).join();
    };
    raise(1);
    EXPECT_TRUE(velmora::testing::Eventually([&] {
        QCoreApplication::processEvents();
        return recorder.handled.load() == 1;
    }));
    EXPECT_TRUE(signal.Streaming());
    raise(2);
    raise(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.handled.load(), 1);
    signal.ServePending();
    EXPECT_EQ(recorder.messages, (std::vector<velmora::ShortMessage>{1, 2, 3}));
    EXPECT_TRUE(signal.Streaming());
    EXPECT_EQ(recorder.ended, 0);
    signal.ServePending();
    signal.ServePending();
    EXPECT_FALSE(signal.Streaming());
    EXPECT_EQ(recorder.ended, 1);
}

// On the window thread a raise is handled at once, after what waited.
TEST(UiSignal, RaiseOnTheWindowThreadRunsAtOnceAfterWhatWaits) {
    QCoreApplication app(argc, argv);
    Recorder recorder;
    UiSignal signal(recorder);
    std::thread midi([&] { signal.Raise(Short(1)); });
    midi.join();
    signal.Raise(Short(2));
    EXPECT_EQ(recorder.messages, (std::vector<velmora::ShortMessage>{1, 2}));
}

// A front end without a window: each raise is handled on the raising thread,
// with nothing posted, and nothing is handled after Shutdown.
TEST(UiSignal, HandledOnTheRaisingThreadWhenAskedAndNotAfterShutdown) {
    QCoreApplication app(argc, argv);
    struct : UiSignalReceiver {
        void HandleSignal(const Handed& handed) override {
            handled.emplace_back(handed.message, std::this_thread::get_id());
        }
        std::vector<std::pair<velmora::ShortMessage, std::thread::id>> handled;
    } receiver;
    UiSignal signal(receiver);
    PostedCallCatcher posted(signal);
    signal.HandleOnRaisingThread();
    std::thread::id midiId;
    std::thread midi([&] {
        midiId = std::this_thread::get_id();
        signal.Raise(Short(2));
        signal.Raise(Short(1));
        signal.Shutdown();
        signal.Raise(Short(2));
    });
    midi.join();
    QCoreApplication::processEvents();
    const std::vector<std::pair<velmora::ShortMessage, std::thread::id>> expected{{2, midiId},
                                                                                  {1, midiId}};
    EXPECT_EQ(receiver.handled, expected);
    EXPECT_EQ(posted.caught, 0);
    EXPECT_EQ(signal.Wakeups(), 0u);
    EXPECT_EQ(signal.Abandoned(), 1u);
}
