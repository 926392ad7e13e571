#include "midi/tick_clock.h"

#include <chrono>

namespace velmora::midi {

std::uint32_t SteadyTickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

ElapsedClock::ElapsedClock(TickSource ticks) : ticks_(std::move(ticks)) {}

void ElapsedClock::Start() {
    startTick_.store(static_cast<std::int32_t>(ticks_()));
}

std::int32_t ElapsedClock::ElapsedMs() {
    const std::uint32_t t = ticks_();
    const std::int32_t start = startTick_.load();
    // A start tick above the counter means the counter wrapped: new base.
    if (start >= 0 && static_cast<std::int64_t>(start) > static_cast<std::int64_t>(t)) {
        startTick_.store(static_cast<std::int32_t>(ticks_()));
    }
    const std::uint32_t now = ticks_();
    return static_cast<std::int32_t>(now - static_cast<std::uint32_t>(startTick_.load()));
}

} // namespace velmora::midi
