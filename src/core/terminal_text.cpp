#include "core/terminal_text.h"

#include <cstdio>

namespace velmora {

std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X",
                          static_cast<unsigned char>(text[i + 1]));
            out += escaped;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace velmora
