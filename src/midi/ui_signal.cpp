#include "midi/ui_signal.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstring>

#ifdef __linux__
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include "midi/futex_wait.h"

namespace velmora::midi {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

UiSignal::UiSignal(UiSignalReceiver& receiver, QObject* parent)
    : QObject(parent), receiver_(receiver), slots_(std::make_unique<std::array<Slot, kSlots>>()),
      sysex_(std::make_unique<std::array<std::array<std::uint8_t, kSysexBytes>, kSysexSlots>>()),
      windowThread_(std::this_thread::get_id()) {
    pacer_ = new QTimer(this);
    pacer_->setSingleShot(true);
    pacer_->setTimerType(Qt::PreciseTimer);
    connect(pacer_, &QTimer::timeout, this, [this] { ServePending(); });
#ifdef __linux__
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { OnWoken(); });
    }
#endif
}

UiSignal::~UiSignal() {
    Shutdown();
    delete notifier_;
#ifdef __linux__
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
#endif
}

bool UiSignal::Full(std::uint64_t written, std::uint64_t sysexWritten, bool withBytes) const {
    return written - read_.load(std::memory_order_acquire) >= kSlots ||
           (withBytes && sysexWritten - sysexRead_.load(std::memory_order_acquire) >= kSysexSlots);
}

// The raising thread sleeps until the window thread has handled a message or
// the signal shuts down. No wake-up is lost: `seen` is read before the ring
// is looked at again, and the window thread bumps `freed_` after each message
// it has taken out, then notifies when it finds this side waiting.
void UiSignal::WaitForRoom(std::uint64_t written, std::uint64_t sysexWritten, bool withBytes) {
    while (Full(written, sysexWritten, withBytes) && !shutdown_.load()) {
        const std::uint32_t seen = freed_.load();
        raiserWaiting_.store(true);
        if (Full(written, sysexWritten, withBytes) && !shutdown_.load()) {
            FutexWait(freed_, seen);
        }
        raiserWaiting_.store(false);
    }
}

std::uint64_t HandOffMicros() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void UiSignal::Raise(const Handed& unstamped) {
    Handed handed = unstamped;
    if (handed.micros == 0) {
        handed.micros = HandOffMicros();
    }
    if (std::this_thread::get_id() == windowThread_) {
        ServePending(); // what waits came first
        receiver_.HandleSignal(handed);
        return;
    }
    if (direct_.load(std::memory_order_relaxed)) {
        if (shutdown_.load()) {
            abandoned_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        receiver_.HandleSignal(handed);
        return;
    }
    const bool withBytes = handed.kind == HandedKind::Sysex && !handed.sysex.empty();
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    const std::uint64_t sysexWritten = sysexWritten_.load(std::memory_order_relaxed);
    WaitForRoom(written, sysexWritten, withBytes);
    if (shutdown_.load()) {
        abandoned_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Slot& slot = (*slots_)[written % kSlots];
    slot.kind = handed.kind;
    slot.source = handed.source;
    slot.message = handed.message;
    slot.micros = handed.micros;
    slot.sysexSize = 0;
    if (withBytes) {
        const std::size_t n = std::min(handed.sysex.size(), kSysexBytes);
        std::memcpy((*sysex_)[sysexWritten % kSysexSlots].data(), handed.sysex.data(), n);
        slot.sysexSize = static_cast<std::uint16_t>(n);
        sysexWritten_.store(sysexWritten + 1, std::memory_order_relaxed);
    }
    written_.store(written + 1); // publishes the slot and its bytes
    Wake();
}

// Wakes the window thread unless a raise since it last found the ring empty
// has done so: it then takes this message in the same wake-up. The window
// thread clears `scheduled_` before it looks at the ring a last time, so a
// message published after that look finds it cleared.
void UiSignal::Wake() {
    if (scheduled_.exchange(true)) {
        return;
    }
#ifdef __linux__
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        // Can fail only when the counter is near overflow: it is awake anyway.
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        return;
    }
#endif
    QMetaObject::invokeMethod(
        this, [this] { OnWoken(); }, Qt::QueuedConnection);
}

void UiSignal::OnWoken() {
#ifdef __linux__
    if (wakeFd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
    }
#endif
    // Within a pace of the last serve: what comes waits for the pace's end,
    // with the rest of it. `scheduled_` stays set meanwhile, so no raise
    // wakes this thread again for it.
    const auto now = Clock::now();
    if (now < nextServe_) {
        if (!pacer_->isActive()) {
            pacer_->start(std::chrono::ceil<std::chrono::milliseconds>(nextServe_ - now));
        }
        return;
    }
    ServePending();
}

void UiSignal::PostServe() {
    QMetaObject::invokeMethod(
        this, [this] { ServePending(); }, Qt::QueuedConnection);
}

void UiSignal::ServePending() {
    if (serving_) {
        return; // nested in a handler (a modal box): the outer call serves
    }
    serving_ = true;
    const auto start = Clock::now();
    const auto sliceEnd = start + slice_;
    bool handled = false;
    bool sliceOver = false;
    bool paced = false;
    std::uint64_t read = read_.load(std::memory_order_relaxed);
    while (!shutdown_.load(std::memory_order_relaxed)) {
        const std::uint64_t written = written_.load(std::memory_order_acquire);
        if (read == written) {
            // A stream: the pacer comes back at the pace's end for what
            // arrives meanwhile, and `scheduled_` stays set, so those raises
            // wake nobody. The pacer that finds nothing ends the stream.
            if (handled && pace_) {
                paced = true;
                break;
            }
            // Empty: the next raise wakes this thread, unless one came after
            // the look above and found it still scheduled.
            scheduled_.store(false);
            if (written_.load() == read || scheduled_.exchange(true)) {
                break;
            }
            continue;
        }
        for (; read != written; ++read) {
            const Slot& slot = (*slots_)[read % kSlots];
            Handed handed{slot.kind, slot.message, {}, slot.micros, slot.source};
            const bool withBytes = slot.sysexSize > 0;
            const std::uint64_t sysexRead = sysexRead_.load(std::memory_order_relaxed);
            if (withBytes) {
                handed.sysex = {(*sysex_)[sysexRead % kSysexSlots].data(), slot.sysexSize};
            }
            receiver_.HandleSignal(handed);
            handled = true;
            if (withBytes) {
                sysexRead_.store(sysexRead + 1, std::memory_order_release);
            }
            read_.store(read + 1, std::memory_order_release);
            freed_.fetch_add(1);
            if (raiserWaiting_.load()) {
                FutexWake(freed_);
            }
            if (shutdown_.load(std::memory_order_relaxed)) {
                break;
            }
            if (Clock::now() > sliceEnd) {
                // The event loop's turn (painting, input); `scheduled_` stays
                // set, so this thread comes back by itself.
                PostServe();
                sliceOver = true;
                break;
            }
        }
        if (sliceOver) {
            break;
        }
    }
    if (handled) {
        wakeups_.fetch_add(1, std::memory_order_relaxed);
        nextServe_ = start + pace_.value_or(slice_);
    }
    if (paced) {
        pacer_->start(
            std::max(std::chrono::milliseconds(0),
                     std::chrono::ceil<std::chrono::milliseconds>(nextServe_ - Clock::now())));
    }
    const bool ended = streaming_ && !handled && !sliceOver && !shutdown_.load();
    streaming_ = paced || (streaming_ && !ended);
    serving_ = false;
    if (ended) {
        receiver_.StreamEnded();
    }
}

void UiSignal::SetSlice(std::chrono::microseconds slice) {
    slice_ = slice;
}

void UiSignal::SetPace(std::chrono::microseconds pace) {
    pace_ = pace;
}

void UiSignal::HandleOnRaisingThread() {
    direct_.store(true);
}

void UiSignal::Shutdown() {
    shutdown_.store(true);
    freed_.fetch_add(1);
    FutexWake(freed_, true);
}

std::uint64_t UiSignal::Abandoned() const {
    const std::uint64_t waiting =
        shutdown_.load() ? written_.load() - read_.load(std::memory_order_acquire) : 0;
    return abandoned_.load(std::memory_order_relaxed) + waiting;
}

} // namespace velmora::midi
