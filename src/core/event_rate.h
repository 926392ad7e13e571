// The rate of a message that is counted rather than shown (timing clock,
// active sensing), from the times the caller gives: the core reads no clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velmora {

class EventRate {
  public:
    // A gap longer than `maxGapUs` starts the measure again (the sender stopped).
    explicit EventRate(std::int64_t maxGapUs) : maxGapUs_(maxGapUs) {}

    void Add(std::int64_t timeUs);
    // Events per second over the last few; empty until two have come, when
    // they came at the same time, or when none came within the longest gap
    // before `nowUs`.
    std::optional<double> PerSecond(std::int64_t nowUs) const;
    std::uint64_t Count() const { return count_; }
    void CountOnly() { ++count_; } // an event without a time
    void Reset();

  private:
    static constexpr std::size_t kWindow = 96; // four beats of clock
    std::int64_t maxGapUs_;
    std::array<std::int64_t, kWindow> times_{};
    std::size_t held_ = 0; // times in the window
    std::size_t next_ = 0; // where the next time goes
    std::uint64_t count_ = 0;
};

} // namespace velmora
