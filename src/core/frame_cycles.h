// Counts an audio server's process cycles from its frame time, read now and
// then: the frame time moves on by one period at the start of each cycle,
// is 32 bits wide and wraps (after a day at 48 kHz), and the period may be
// changed while it runs. Only its steps are counted, in whole periods of
// the size in use when they are read.
#pragma once

#include <cstdint>

namespace velmora {

struct FrameCycles {
    std::uint32_t lastFrame = 0;
    std::uint32_t frames = 0; // read, not yet a whole period
    std::uint64_t cycles = 0;

    // Takes the frame time `now` and the current period; returns the cycles
    // begun since the first reading.
    std::uint64_t Advance(std::uint32_t now, std::uint32_t period) {
        frames += now - lastFrame; // modulo 2^32: a wrap is one more step
        lastFrame = now;
        if (period > 0) {
            cycles += frames / period;
            frames %= period;
        }
        return cycles;
    }
};

} // namespace velmora
