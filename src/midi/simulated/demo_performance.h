// What the demo keyboard plays: a looped little piece as a plain list of
// timed messages, so that it can be checked without playing it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/simulated/simulated_service.h"

namespace velmora::midi {

inline constexpr const char* kDemoKeyboardName = "Velmora Demo Keyboard";
inline constexpr const char* kDemoSynthName = "Velmora Demo Synth";
inline constexpr const char* kDemoSynth2Name = "Velmora Demo Synth 2";
// Records kept per demo output; older ones are only counted.
inline constexpr std::size_t kDemoRecordLimit = 10000;

inline constexpr std::uint32_t kDemoBeatMs = 500;                 // 120 beats per minute
inline constexpr std::uint32_t kDemoLoopMs = 8 * 4 * kDemoBeatMs; // eight bars of 4/4

// I-vi-IV-V in C played twice (eight bars, 16 s), the melody varied the
// second time: chords with the sustain pedal on channel 1 (released by Note
// On velocity 0), a melody on channel 2 with modulation, pitch bend sweeps
// and channel pressure, a bass on channel 3; program changes, volume and
// pan; MIDI clock at 24 per beat; active sensing every 300 ms; and two sysex
// dumps 8 s apart, some patches (about 1 KB) and a bank (over 4096 bytes).
// Deterministic.
LoopedPerformance DemoPerformance();

} // namespace velmora::midi
