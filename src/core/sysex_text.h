// Texts of the sysex monitor.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

// "Block #3 (4096 bytes)": the header of the n-th listed block.
std::string SysexBlockHeader(int number, std::size_t byteCount);

} // namespace velmora
