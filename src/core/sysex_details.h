// What a system exclusive message says beyond its bytes: the manufacturer,
// and for the universal messages their kind and the values they carry.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// `bytes` starts with F0; the F7 at the end may be missing (the first block of
// a long message). Returns "" for anything that does not start with F0.
std::string DescribeSysex(std::span<const std::uint8_t> bytes);

} // namespace velmora
