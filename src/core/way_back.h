// Whether what is sent into one port of a MIDI graph can come out of another:
// a walk over the connections a MIDI service shows. Plain data, no service.
#pragma once

#include <cstddef>
#include <vector>

namespace velmora {

struct GraphPort {
    // Emits what it receives and nothing else (a loopback such as ALSA's
    // "Midi Through"). Any other port may emit anything it likes (a device,
    // a program, a cable back): the walk can't see past it.
    bool passesThrough = false;
    // The ports that receive what this one emits (its subscribers).
    std::vector<std::size_t> feeds;
};

enum class Reach {
    None,     // every way from `into` ends without reaching `outOf`
    Possible, // a chain of pass-through ports leads from `into` out of `outOf`
    Unknown,  // no such chain, but a port that may emit anything is on the way
};

// What is sent into port `into` and what is read from port `outOf`; indices
// into `ports`. Out-of-range indices are Unknown.
Reach WayBack(const std::vector<GraphPort>& ports, std::size_t into, std::size_t outOf);

} // namespace velmora
