#include "midi/queued_midi_in.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/router_transform.h"
#include "midi/futex_wait.h"

namespace velmora::midi {

namespace {

// A queued message's stamp: its time in microseconds below bit 58 (9,000
// years of a steady clock), and above it, for a short message the service's
// cycle passed through itself, its thru channel + 2 (0: not passed).
constexpr unsigned kThruShift = 58;
constexpr std::uint64_t kMicrosMask = (std::uint64_t{1} << kThruShift) - 1;

} // namespace

QueuedMidiIn::QueuedMidiIn(InputCallback callback, std::size_t queueBytes)
    : callback_(std::move(callback)), ring_(queueBytes, true), thread_([this] { DeliveryLoop(); }) {
}

QueuedMidiIn::~QueuedMidiIn() {
    StopDelivery({});
}

// Runs in the producer's thread: inside JACK's process cycle or on RtMidi's
// ALSA thread. The notify is a futex wake: a system call that never blocks,
// never allocates and takes no lock of ours, so the cycle's time stays
// bounded (bench/jack_path_bench measures the path). It is made only when
// the delivery thread sleeps or is about to: a cycle that brings hundreds of
// messages to a busy delivery thread makes no system call at all.
//
// No wake-up is lost: both sides use sequentially consistent operations, so
// either the delivery thread's reading of the counter (after it said it
// sleeps) comes after this increment, and it does not wait, or this reading
// of `sleeping_` comes after it said so, and the notify is made.
void QueuedMidiIn::Wake() {
    wake_.fetch_add(1, std::memory_order_seq_cst);
    if (sleeping_.load(std::memory_order_seq_cst)) {
        FutexWake(wake_);
    }
}

void QueuedMidiIn::WakeOrHold() {
    if (batchOpen_ && ++batchHeld_ < kWakeBatch) {
        return;
    }
    batchHeld_ = 0;
    Wake();
}

QueuedMidiIn::WakeBatch::~WakeBatch() {
    in_.batchOpen_ = false;
    if (in_.batchHeld_ > 0) {
        in_.batchHeld_ = 0;
        in_.Wake();
    }
}

template <typename Pred> void QueuedMidiIn::WaitServing(const WaitHook& whileWaiting, Pred done) {
    std::unique_lock lock(doneMutex_);
    while (!done()) {
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
            if (done()) {
                break;
            }
            doneCv_.wait_for(lock, std::chrono::milliseconds(1));
        } else {
            doneCv_.wait(lock);
        }
    }
}

void QueuedMidiIn::StopDelivery(const WaitHook& whileWaiting) {
    if (!thread_.joinable()) {
        return;
    }
    started_.store(false);
    exit_.store(true);
    Wake();
    WaitServing(whileWaiting, [this] { return exited_; });
    thread_.join();
}

bool QueuedMidiIn::PrepareHeader(MidiHeader& header) {
    if (closed_ || header.lpData == nullptr || header.dwBufferLength == 0) {
        return false;
    }
    header.prepared = true;
    return true;
}

bool QueuedMidiIn::UnprepareHeader(MidiHeader& header) {
    if (closed_) {
        return false;
    }
    std::lock_guard lock(buffersMutex_); // `queued` is cleared by the delivery thread
    if (header.queued) {
        return false;
    }
    header.prepared = false;
    return true;
}

bool QueuedMidiIn::AddBuffer(MidiHeader& header) {
    if (closed_) {
        return false;
    }
    std::lock_guard lock(buffersMutex_);
    if (!header.prepared || header.queued) {
        return false;
    }
    header.dwBytesRecorded = 0;
    header.queued = true;
    queuedBuffers_.push_back(&header);
    return true;
}

bool QueuedMidiIn::Start() {
    if (closed_) {
        return false;
    }
    started_.store(true);
    return true;
}

bool QueuedMidiIn::Reset(const WaitHook& whileWaiting) {
    if (closed_) {
        return false;
    }
    started_.store(false);
    std::uint64_t target;
    {
        std::lock_guard lock(doneMutex_);
        target = resetsDone_ + 1;
    }
    resetRequested_.store(true);
    Wake();
    WaitServing(whileWaiting, [&] { return resetsDone_ >= target || exited_; });
    return true;
}

bool QueuedMidiIn::Close(const WaitHook& whileWaiting) {
    if (closed_) {
        return false;
    }
    {
        std::lock_guard lock(buffersMutex_);
        if (!queuedBuffers_.empty()) {
            return false; // buffers still queued: reset first
        }
    }
    StopProducer();
    StopDelivery(whileWaiting);
    closed_.store(true);
    return true;
}

std::uint64_t QueuedMidiIn::LostEvents() const {
    return ring_.Dropped() + lostNoBuffer_.load(std::memory_order_relaxed) +
           lostMalformed_.load(std::memory_order_relaxed);
}

bool QueuedMidiIn::Enqueue(std::span<const std::uint8_t> message, std::uint64_t micros) {
    if (!started_.load(std::memory_order_acquire) || message.empty()) {
        return false;
    }
    const bool pushed = ring_.Push(message, micros & kMicrosMask);
    WakeOrHold();
    return pushed;
}

bool QueuedMidiIn::EnqueuePassedThru(std::span<const std::uint8_t> message, std::uint64_t micros,
                                     int thruChannel) {
    if (!started_.load(std::memory_order_acquire) || message.empty() || thruChannel < -1 ||
        thruChannel > 16) {
        return false;
    }
    const auto code = static_cast<std::uint64_t>(thruChannel + 2);
    const bool pushed = ring_.Push(message, (micros & kMicrosMask) | code << kThruShift);
    WakeOrHold();
    return pushed;
}

bool QueuedMidiIn::Idle() const {
    return ring_.Empty() && !busy_.load(std::memory_order_acquire);
}

MidiHeader* QueuedMidiIn::TakeQueuedBuffer() {
    std::lock_guard lock(buffersMutex_);
    if (queuedBuffers_.empty()) {
        return nullptr;
    }
    MidiHeader* h = queuedBuffers_.front();
    queuedBuffers_.pop_front();
    h->queued = false;
    return h;
}

void QueuedMidiIn::ReturnQueuedBuffersEmpty() {
    while (MidiHeader* h = TakeQueuedBuffer()) {
        h->dwBytesRecorded = 0;
        callback_(InputEvent{InputMessage::LongData, 0, h});
    }
}

void QueuedMidiIn::DeliverSysex(const std::vector<std::uint8_t>& message, std::uint64_t micros) {
    std::size_t offset = 0;
    while (offset < message.size()) {
        if (resetRequested_.load() || exit_.load()) {
            return;
        }
        MidiHeader* h = TakeQueuedBuffer();
        if (h == nullptr) {
            lostNoBuffer_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const std::size_t n = std::min<std::size_t>(h->dwBufferLength, message.size() - offset);
        std::memcpy(h->lpData, message.data() + offset, n);
        h->dwBytesRecorded = static_cast<std::uint32_t>(n);
        offset += n;
        callback_(InputEvent{InputMessage::LongData, 0, h, micros});
    }
}

void QueuedMidiIn::Deliver(const std::vector<std::uint8_t>& message, std::uint64_t stamp) {
    const std::uint64_t micros = stamp & kMicrosMask;
    const std::uint8_t first = message[0];
    // The rest of a sysex message that came in several pieces (a JACK event
    // holds only so much): it goes on in the next buffers.
    const bool rest = first < 0x80 || first == 0xF7;
    if (first == 0xF0 || (rest && sysexOpen_)) {
        DeliverSysex(message, micros);
        sysexOpen_ = message.back() != 0xF7;
        return;
    }
    if (rest) {
        lostMalformed_.fetch_add(1, std::memory_order_relaxed); // no message to go on with
        return;
    }
    if (first < 0xF8) {
        sysexOpen_ = false; // any other status byte ends a sysex message
    }
    if (message.size() > 3) {
        lostNoBuffer_.fetch_add(1, std::memory_order_relaxed); // not a MIDI message
        return;
    }
    ShortMessage m = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        m |= ShortMessage{message[i]} << (8 * i);
    }
    const std::uint64_t thru = stamp >> kThruShift;
    const ShortMessage passed = thru == 0 ? 0 : ThruMessage(m, static_cast<int>(thru) - 2);
    callback_(InputEvent{InputMessage::Data, m, nullptr, micros, passed});
}

void QueuedMidiIn::DeliveryLoop() {
    std::vector<std::uint8_t> message;
    message.reserve(4096);
    std::uint64_t stamp = 0;
    while (true) {
        // Read before the pop: a message pushed after the pop found the ring
        // empty has bumped the counter too, so the wait below returns at once
        // instead of sleeping past it.
        const std::uint32_t seen = wake_.load(std::memory_order_acquire);
        if (resetRequested_.exchange(false)) {
            ring_.Clear();
            sysexOpen_ = false;
            busy_.store(true);
            ReturnQueuedBuffersEmpty();
            busy_.store(false);
            std::lock_guard lock(doneMutex_);
            ++resetsDone_;
            doneCv_.notify_all();
            continue;
        }
        if (exit_.load()) {
            break;
        }
        busy_.store(true);
        const bool got = ring_.Pop(message, &stamp);
        // A message that a producer pushed while Reset was stopping the input
        // is dropped: after Reset no callback runs until the next Start.
        if (got && started_.load(std::memory_order_acquire)) {
            Deliver(message, stamp);
        }
        busy_.store(false);
        if (!got) {
            sleeping_.store(true, std::memory_order_seq_cst);
            if (wake_.load(std::memory_order_seq_cst) == seen) {
                FutexWait(wake_, seen);
            }
            sleeping_.store(false, std::memory_order_relaxed);
        }
    }
    std::lock_guard lock(doneMutex_);
    exited_ = true;
    doneCv_.notify_all();
}

} // namespace velmora::midi
