#include "core/lost_input_text.h"

#include <algorithm>

namespace velmora {

std::string LostInputTooltip(std::uint64_t lost, std::uint64_t malformed) {
    malformed = std::min(malformed, lost);
    const std::uint64_t tooFast = lost - malformed;
    const std::string fast =
        std::to_string(tooFast) +
        " messages or sysex blocks arrived faster than they could be taken, or found no "
        "buffer, and were lost.";
    const std::string bad = std::to_string(malformed) +
                            " pieces of input were no MIDI message (data bytes out of place, a "
                            "message cut off by another one, as when a second source plays "
                            "during a sysex dump) and were dropped.";
    if (malformed == 0) {
        return fast;
    }
    return tooFast == 0 ? bad : fast + "\n" + bad;
}

} // namespace velmora
