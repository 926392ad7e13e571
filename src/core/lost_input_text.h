// The tooltip of the "Lost input" count: what was lost, and why.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// `lost` events in all, `malformed` of them input that was no MIDI message;
// the others came faster than they could be taken or found no buffer.
std::string LostInputTooltip(std::uint64_t lost, std::uint64_t malformed);

} // namespace velmora
