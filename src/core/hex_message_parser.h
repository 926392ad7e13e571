// Reads a short message written as 1 to 3 hexadecimal bytes separated by
// blanks ("90 3C 64"), as typed on a command line or in a text file.
#pragma once

#include <string>
#include <string_view>

#include "core/short_message.h"

namespace velmora {

struct ParsedMessage {
    bool ok = false;
    ShortMessage message = 0; // missing data bytes are 0
    std::string error;        // why the text is not a message, when !ok
};

ParsedMessage ParseHexMessage(std::string_view text);

} // namespace velmora
