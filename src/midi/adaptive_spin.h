// A bounded busy wait that learns how long waiting pays. Waiting for another
// thread by spinning saves two thread wake-ups when the other thread answers
// within microseconds, and burns a core when it does not: between bursts of
// messages, or on a busy machine where the other thread is not running. So
// the limit follows what the waits took: a few times the usual successful
// wait, halved after each wait that ran out.
//
// The limit never drops below what a sleep and wake-up cost (tens of
// microseconds on a virtual machine). A partner that is merely late then
// still finds this side spinning; with a shorter limit this side sleeps,
// its own answer comes a wake-up late, the partner's spin runs out in turn,
// and from then on both sleep on every message of a stream.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace velmora::midi {

class AdaptiveSpin {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::int64_t kMinNs = 50'000;
    static constexpr std::int64_t kMaxNs = 100'000;

    // With a single core the partner can't run while this side spins.
    AdaptiveSpin() : limitNs_(std::thread::hardware_concurrency() == 1 ? 0 : kMinNs) {}

    // Spins until `done` holds (true) or the limit has passed (false).
    template <typename Pred> bool Wait(Pred done) {
        if (done()) {
            return true;
        }
        const std::int64_t limit = limitNs_.load(std::memory_order_relaxed);
        if (limit == 0) {
            return false;
        }
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

    std::atomic<std::int64_t> limitNs_;
};

} // namespace velmora::midi
