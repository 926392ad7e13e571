// Text values of the settings file that read back exactly. A line of the
// file holds NAME=VALUE up to its end, so a value with a line break, or any
// other control character, would come back changed. Such a value is
// written quoted, with C-style escapes:
//     MidiInName="Port\r\nwith a line break \"quoted\""
// Every other value (most device names: letters, UTF-8, "=", "[", ";") is
// written exactly as it is, so the lines of existing files stay the same.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The text to write after "=" for `value`: `value` itself, or quoted when it
// holds a control character (below 0x20, or 0x7F) or starts with a double
// quote, in which case \\, \", \r, \n, \t and \xHH (any other control
// character) stand for themselves.
std::string EscapeIniValue(std::string_view value);

// The value a text after "=" stands for: a quoted text as EscapeIniValue
// writes it is read back; any other text (also one that looks quoted but
// has an escape EscapeIniValue never writes) is the value as it stands.
std::string UnescapeIniValue(std::string_view text);

} // namespace velmora
