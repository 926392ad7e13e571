// Text from outside the program (device names, echoed input) made safe to
// print on a terminal: a device named with an escape sequence must not
// retitle the terminal or move its cursor.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// `text` with every C0 control byte, DEL and byte that is not part of valid
// UTF-8 (an 8-bit C1 control among them) written as \xNN, UTF-8-encoded C1
// controls as \u0080..\u009F and the bidirectional controls, which turn the
// text around them (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069),
// as \uNNNN; a backslash is doubled, so that an escape shown is one made
// here. Other UTF-8 is kept as it is.
std::string TerminalSafe(std::string_view text);

// The length of the valid UTF-8 sequence of two bytes or more starting at
// `text[i]`, 0 when there is none there.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

} // namespace velmora
