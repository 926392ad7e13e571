// Reads a short message written as 1 to 3 hexadecimal bytes separated by
// blanks ("90 3C 64"), as typed on a command line or in a text file, the
// bytes after the first being data bytes (00 to 7F), and any number of such
// bytes (a sysex message on one line).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/short_message.h"

namespace velmora {

struct ParsedMessage {
    bool ok = false;
    ShortMessage message = 0; // missing data bytes are 0
    std::string error;        // why the text is not a message, when !ok
};

ParsedMessage ParseHexMessage(std::string_view text);

struct ParsedBytes {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// 1 to `maxBytes` hexadecimal bytes separated by blanks.
ParsedBytes ParseHexBytes(std::string_view text, std::size_t maxBytes);

// One message to send, as a line of hexadecimal bytes: a short message of
// exactly the bytes its status takes (zero bytes after them, the padding
// decode and the monitor show, are dropped), or a sysex message from F0 to
// F7 of at most `maxBytes`. What follows '#', or follows the bytes after two
// blanks or more (decode's description column), is ignored, so decode's
// lines play back. A line with no bytes at all is ok and empty.
ParsedBytes ParseMessageLine(std::string_view text, std::size_t maxBytes);

// The time column the monitor prints in front of a message ("%9d  ": blanks,
// decimal milliseconds, two blanks or more), taken off `line`; nothing, and
// `line` untouched, when the line has none. No line of messages starts so:
// hexadecimal bytes made of decimal digits alone, set off by two blanks,
// are never a whole message.
std::optional<std::int64_t> TakeTimeColumn(std::string_view& line);

// `text` in double quotes for a message, safe on a terminal: at most its first
// 32 bytes followed by "...", control and non-ASCII bytes as \xNN.
std::string QuoteStart(std::string_view text);

} // namespace velmora
