#include "core/event_rate.h"

namespace velmora {
namespace {

// b - a for a <= b without overflow, whatever the scale of the caller's times.
std::uint64_t Span(std::int64_t a, std::int64_t b) {
    return static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

} // namespace

void EventRate::Add(std::int64_t timeUs) {
    ++count_;
    if (held_ > 0) {
        const std::int64_t last = times_[(next_ + kWindow - 1) % kWindow];
        if (timeUs < last || Span(last, timeUs) > static_cast<std::uint64_t>(maxGapUs_)) {
            held_ = 0; // a pause, or times from another scale: measure anew
        }
    }
    times_[next_] = timeUs;
    next_ = (next_ + 1) % kWindow;
    if (held_ < kWindow) {
        ++held_;
    }
}

std::optional<double> EventRate::PerSecond(std::int64_t nowUs) const {
    if (held_ < 2) {
        return std::nullopt;
    }
    const std::int64_t last = times_[(next_ + kWindow - 1) % kWindow];
    const std::int64_t first = times_[(next_ + kWindow - held_) % kWindow];
    if (nowUs < last || Span(last, nowUs) > static_cast<std::uint64_t>(maxGapUs_)) {
        return std::nullopt;
    }
    const std::uint64_t span = Span(first, last);
    if (span == 0) {
        return std::nullopt;
    }
    return static_cast<double>(held_ - 1) * 1e6 / static_cast<double>(span);
}

void EventRate::Reset() {
    held_ = 0;
    next_ = 0;
    count_ = 0;
}

} // namespace velmora
