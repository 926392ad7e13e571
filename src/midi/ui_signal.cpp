#include "midi/ui_signal.h"

#include <QMetaObject>
#include <QThread>
#include <chrono>

namespace velmora::midi {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

UiSignal::UiSignal(UiSignalReceiver& receiver, QObject* parent)
    : QObject(parent), receiver_(receiver) {}

UiSignal::~UiSignal() {
    Shutdown();
}

void UiSignal::Raise(char code) {
    if (QThread::currentThread() == thread()) {
        receiver_.HandleSignal(code); // already on the window thread
        return;
    }
    std::unique_lock lock(lock_);
    if (direct_) {
        if (shutdown_) {
            ++abandoned_;
            return;
        }
        lock.unlock();
        receiver_.HandleSignal(code);
        return;
    }
    changed_.wait(lock, [this] { return state_ == State::Idle || shutdown_; });
    if (shutdown_) {
        ++abandoned_;
        return;
    }
    state_ = State::Pending;
    code_ = code;
    const std::uint64_t ticket = served_.load() + 1;
    raised_.store(ticket);
    const bool post = !serverActive_;
    lock.unlock();
    if (post) {
        QMetaObject::invokeMethod(
            this, [this] { ServePending(); }, Qt::QueuedConnection);
    } else {
        changed_.notify_all(); // the window thread may sleep in ServePending
    }
    // The handler usually takes microseconds: waiting briefly for it saves
    // two thread wake-ups per message.
    raiseSpin_.Wait([&] { return served_.load(std::memory_order_acquire) >= ticket; });
    lock.lock();
    changed_.wait(lock, [&] { return served_.load() >= ticket || shutdown_; });
    if (served_.load() < ticket) {
        ++abandoned_;
        if (state_ == State::Pending) {
            state_ = State::Idle;
        }
    }
}

void UiSignal::ServePending() {
    std::unique_lock lock(lock_);
    if (state_ == State::Serving) {
        return; // nested in a handler (a modal box): the outer call serves
    }
    // Serve a stream for at most a slice, then give the event loop its turn
    // (painting, input) and come back through a posted call.
    const auto sliceEnd = Clock::now() + slice_;
    while (state_ == State::Pending && !shutdown_) {
        state_ = State::Serving;
        serverActive_ = true;
        const char code = code_;
        lock.unlock();
        receiver_.HandleSignal(code);
        lock.lock();
        state_ = State::Idle;
        served_.fetch_add(1, std::memory_order_release);
        changed_.notify_all();
        // Stay for the next code until the slice ends, so a stream of
        // messages costs neither an event per message nor a turn of the event
        // loop (and a paint) each time the MIDI thread is a little late. A
        // short spin catches the next code of a burst; past it, sleep.
        const std::uint64_t next = served_.load() + 1;
        lock.unlock();
        if (Clock::now() > sliceEnd) {
            lock.lock();
            break;
        }
        const bool soon =
            serveSpin_.Wait([&] { return raised_.load(std::memory_order_acquire) >= next; });
        lock.lock();
        if (!soon) {
            changed_.wait_until(lock, sliceEnd,
                                [this] { return state_ == State::Pending || shutdown_; });
        }
    }
    serverActive_ = false;
    if (state_ == State::Pending && !shutdown_) {
        QMetaObject::invokeMethod(
            this, [this] { ServePending(); }, Qt::QueuedConnection);
    }
}

void UiSignal::SetSlice(std::chrono::microseconds slice) {
    slice_ = slice;
}

void UiSignal::HandleOnRaisingThread() {
    std::lock_guard lock(lock_);
    direct_ = true;
}

void UiSignal::Shutdown() {
    std::lock_guard lock(lock_);
    shutdown_ = true;
    changed_.notify_all();
}

std::uint64_t UiSignal::Abandoned() const {
    std::lock_guard lock(lock_);
    return abandoned_;
}

} // namespace velmora::midi
