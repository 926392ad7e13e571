// A bounded single-producer, single-consumer queue of MIDI messages of any
// length, stored as length-prefixed records in one ring of bytes. Push never
// blocks and never allocates, so it may run inside a real-time audio cycle;
// what does not fit is counted. A stamped ring keeps a 64-bit time with each
// message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora::midi {

class EventRing {
  public:
    // `capacity` is rounded up to a power of two.
    explicit EventRing(std::size_t capacity, bool stamped = false);

    // Producer side. False (and counted) when the message does not fit.
    // `stamp` is kept only by a stamped ring.
    bool Push(std::span<const std::uint8_t> message, std::uint64_t stamp = 0);

    // Consumer side. False when empty. `stamp`: the message's, 0 unstamped.
    bool Pop(std::vector<std::uint8_t>& message, std::uint64_t* stamp = nullptr);
    // Consumer side, without a vector: the length of the next message (false
    // when empty), then its bytes copied to `to` (room for that length; null
    // skips the message).
    bool PeekLength(std::size_t& length) const;
    void PopInto(std::uint8_t* to);
    void Clear(); // consumer side: drops everything queued
    bool Empty() const;
    // Bytes queued, with their records' prefixes. Either side.
    std::size_t UsedBytes() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
    }

    std::uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    void CopyIn(std::size_t at, const std::uint8_t* from, std::size_t n);
    void CopyOut(std::size_t at, std::uint8_t* to, std::size_t n) const;

    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t mask_;
    std::size_t prefix_;                           // the length, and the stamp in a stamped ring
    alignas(64) std::atomic<std::size_t> head_{0}; // written by the producer
    alignas(64) std::atomic<std::size_t> tail_{0}; // written by the consumer
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace velmora::midi
