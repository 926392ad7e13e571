// Milliseconds for LED stamps and transfer timing: a 32-bit tick counter that
// wraps at 2^32, and the elapsed time since a start tick with the rule that a
// wrapped counter takes a new base.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace velmora::midi {

using TickSource = std::function<std::uint32_t()>;

// A steady clock in milliseconds, truncated to 32 bits.
std::uint32_t SteadyTickCount();

class ElapsedClock {
  public:
    explicit ElapsedClock(TickSource ticks = SteadyTickCount);

    // Takes the start tick (done once, when the main window is created).
    void Start();
    // Milliseconds since the start tick; callable from any thread.
    std::int32_t ElapsedMs();
    std::int32_t StartTick() const { return startTick_.load(); }

  private:
    TickSource ticks_;
    std::atomic<std::int32_t> startTick_{0};
};

} // namespace velmora::midi
