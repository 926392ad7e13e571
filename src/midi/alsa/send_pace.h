// Paces bytes going into a raw MIDI port's buffer that nobody can read back:
// the sequencer hands a raw MIDI port (a USB interface, snd-virmidi) what it
// is sent at once, and the port drops whatever overflows its buffer without
// a word. So bytes go out at the rate the far side empties it, with a head
// start no larger than the buffer. Times are passed in: plain arithmetic.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace velmora::midi {

class SendPace {
  public:
    using Clock = std::chrono::steady_clock;

    // `bytesPerSecond` 0: unpaced.
    SendPace(std::size_t bytesPerSecond, std::size_t headStart)
        : rate_(bytesPerSecond), headStart_(headStart) {}

    // How long to wait before `n` more bytes may go; zero when they may now.
    Clock::duration WaitFor(std::size_t n, Clock::time_point now) const {
        if (rate_ == 0) {
            return Clock::duration::zero();
        }
        const Clock::time_point drained = std::max(drainedAt_, now) + Duration(n);
        const Clock::duration backlog = drained - now;
        const Clock::duration allowed = Duration(headStart_);
        return backlog > allowed ? backlog - allowed : Clock::duration::zero();
    }

    // `n` bytes went out at `now`.
    void Took(std::size_t n, Clock::time_point now) {
        if (rate_ != 0) {
            drainedAt_ = std::max(drainedAt_, now) + Duration(n);
        }
    }

  private:
    Clock::duration Duration(std::size_t n) const {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
            static_cast<long long>(n) * 1'000'000'000LL / static_cast<long long>(rate_)));
    }

    std::size_t rate_;
    std::size_t headStart_;
    Clock::time_point drainedAt_{}; // when the far side will have taken all so far
};

} // namespace velmora::midi
