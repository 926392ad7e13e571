#include "midi/event_ring.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora::midi {
namespace {
constexpr std::size_t kLengthBytes = sizeof(std::uint32_t);
constexpr std::size_t kStampBytes = sizeof(std::uint64_t);
} // namespace

EventRing::EventRing(std::size_t capacity, bool stamped)
    : prefix_(kLengthBytes + (stamped ? kStampBytes : 0)) {
    const std::size_t size = std::bit_ceil(capacity < 64 ? std::size_t{64} : capacity);
    bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(size); // untouched until used
    mask_ = size - 1;
}

void EventRing::CopyIn(std::size_t at, const std::uint8_t* from, std::size_t n) {
    const std::size_t start = at & mask_;
    const std::size_t first = std::min(n, mask_ + 1 - start);
    std::memcpy(bytes_.get() + start, from, first);
    std::memcpy(bytes_.get(), from + first, n - first);
}

void EventRing::CopyOut(std::size_t at, std::uint8_t* to, std::size_t n) const {
    const std::size_t start = at & mask_;
    const std::size_t first = std::min(n, mask_ + 1 - start);
    std::memcpy(to, bytes_.get() + start, first);
    std::memcpy(to + first, bytes_.get(), n - first);
}

bool EventRing::Push(std::span<const std::uint8_t> message, std::uint64_t stamp) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    const std::size_t tail = tail_.load(std::memory_order_acquire);
    const std::size_t need = prefix_ + message.size();
    if (message.size() > UINT32_MAX || need > (mask_ + 1) - (head - tail)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const auto length = static_cast<std::uint32_t>(message.size());
    std::uint8_t prefix[kLengthBytes + kStampBytes];
    std::memcpy(prefix, &length, kLengthBytes);
    std::memcpy(prefix + kLengthBytes, &stamp, kStampBytes);
    CopyIn(head, prefix, prefix_);
    CopyIn(head + prefix_, message.data(), message.size());
    head_.store(head + need, std::memory_order_release);
    return true;
}

bool EventRing::Pop(std::vector<std::uint8_t>& message, std::uint64_t* stamp) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    if (head == tail) {
        return false;
    }
    std::uint8_t prefix[kLengthBytes + kStampBytes] = {};
    CopyOut(tail, prefix, prefix_);
    std::uint32_t length = 0;
    std::memcpy(&length, prefix, kLengthBytes);
    if (stamp != nullptr) {
        std::memcpy(stamp, prefix + kLengthBytes, kStampBytes);
    }
    message.resize(length);
    CopyOut(tail + prefix_, message.data(), length);
    tail_.store(tail + prefix_ + length, std::memory_order_release);
    return true;
}

bool EventRing::PeekLength(std::size_t& length) const {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (head_.load(std::memory_order_acquire) == tail) {
        return false;
    }
    std::uint8_t prefix[kLengthBytes];
    CopyOut(tail, prefix, kLengthBytes);
    std::uint32_t stored = 0;
    std::memcpy(&stored, prefix, kLengthBytes);
    length = stored;
    return true;
}

void EventRing::PopInto(std::uint8_t* to) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    std::size_t length = 0;
    if (!PeekLength(length)) {
        return;
    }
    if (to != nullptr) {
        CopyOut(tail + prefix_, to, length);
    }
    tail_.store(tail + prefix_ + length, std::memory_order_release);
}

void EventRing::Clear() {
    tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release);
}

// Acquires the tail too: a thread that sees a message popped then also sees
// what the consumer did before popping it (QueuedMidiIn::Idle relies on it).
bool EventRing::Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
}

} // namespace velmora::midi
