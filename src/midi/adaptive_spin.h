// A bounded busy wait that learns how long waiting pays. Waiting for another
// thread by spinning saves two thread wake-ups when the other thread answers
// within microseconds, and burns a core when it does not: between bursts of
// messages, or on a busy machine where the other thread is not running. So
// the limit follows what the waits took: a few times the usual successful
// wait, halved after each wait that ran out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace velmora::midi {

class AdaptiveSpin {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::int64_t kMinNs = 2'000;
    static constexpr std::int64_t kMaxNs = 100'000;

    // Spins until `done` holds (true) or the limit has passed (false).
    template <typename Pred> bool Wait(Pred done) {
        if (done()) {
            return true;
        }
        const std::int64_t limit = limitNs_.load(std::memory_order_relaxed);
        const auto start = Clock::now();
        while (true) {
            const std::int64_t waited =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
            if (done()) {
                Learn(waited, true);
                return true;
            }
            if (waited > limit) {
                Learn(waited, false);
                return false;
            }
        }
    }

    std::int64_t LimitNs() const { return limitNs_.load(std::memory_order_relaxed); }

  private:
    void Learn(std::int64_t waitedNs, bool succeeded) {
        const std::int64_t limit = limitNs_.load(std::memory_order_relaxed);
        std::int64_t next = limit / 2;
        if (succeeded) {
            // An average that moves an eighth of the way: one slow answer
            // does not open the limit wide.
            next = limit + (4 * waitedNs - limit) / 8;
        }
        next = next < kMinNs ? kMinNs : next > kMaxNs ? kMaxNs : next;
        limitNs_.store(next, std::memory_order_relaxed);
    }

    std::atomic<std::int64_t> limitNs_{kMaxNs / 4};
};

} // namespace velmora::midi
