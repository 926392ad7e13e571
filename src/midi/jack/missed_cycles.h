// Cycles a JACK client missed, seen from the frame times of the cycles it
// ran. jackd reports a late cycle through its xrun callback; PipeWire's
// libjack does not, but its next cycle starts more than one period after the
// last (or a period repeats). Either way the MIDI of the missed cycle is gone.
// Plain data, for the real-time thread alone: no lock, no allocation.
#pragma once

#include <cstdint>

namespace velmora::midi {

class MissedCycles {
  public:
    // Called once a cycle with its first frame (jack_last_frame_time) and
    // length; true when the cycle does not follow on from the last one.
    bool Missed(std::uint32_t firstFrame, std::uint32_t frames) {
        const bool missed = started_ && firstFrame != nextFrame_;
        started_ = true;
        nextFrame_ = firstFrame + frames; // wraps as the frame counter does
        return missed;
    }

  private:
    bool started_ = false;
    std::uint32_t nextFrame_ = 0;
};

} // namespace velmora::midi
