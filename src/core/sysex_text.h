// Texts of the sysex monitor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// "Block #3 (4096 bytes)": the header of the n-th listed block.
std::string SysexBlockHeader(int number, std::size_t byteCount);

// The sysex monitor's text of a block: each byte as two upper-case hex
// digits followed by a space.
std::string SysexHexText(std::span<const std::uint8_t> bytes);

} // namespace velmora
