#include "core/json_text.h"

#include <cstdio>

#include "core/terminal_text.h"

namespace velmora {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += text[i++];
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
            ++i;
        } else if (byte < 0x80) {
            out += text[i++];
        } else if (const std::size_t n = Utf8SequenceLength(text, i); n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    out += '"';
    return out;
}

} // namespace velmora
