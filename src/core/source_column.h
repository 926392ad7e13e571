// The history's source column, shown while messages come from more than one
// input: each line starts with the name of the input it came from, shortened
// to a fixed width so the lines stay aligned. Texts are Windows-1252, as
// everywhere in the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The column's width in characters.
inline constexpr std::size_t kSourceWidth = 16;

// `name` padded to kSourceWidth, or shortened to it with ".." in the middle
// (device names differ at their start and at their end: "Keys:Port 1").
std::string SourceCell(std::string_view name);

// A sysex block's history line: "Sysex, N bytes: F0 43 ..." cut to a history
// line's length with "..." at the cut.
std::string SysexHistoryLine(std::span<const std::uint8_t> block);

} // namespace velmora
