// Text from outside the program (device names, echoed input) made safe to
// print on a terminal: a device named with an escape sequence must not
// retitle the terminal or move its cursor.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// `text` with every C0 control byte, DEL and UTF-8-encoded C1 control written
// as \xNN (C1 as \u0080..\u009F); everything else, including other UTF-8, is
// kept as it is.
std::string TerminalSafe(std::string_view text);

} // namespace velmora
