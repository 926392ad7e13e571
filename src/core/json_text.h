// Pieces of JSON for the command line's JSON Lines output.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// `text` as a JSON string in double quotes: quotes, backslashes and control
// characters escaped, bytes that are not valid UTF-8 replaced by U+FFFD, so
// that every reader takes the line.
std::string JsonString(std::string_view text);

} // namespace velmora
