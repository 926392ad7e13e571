#include "core/terminal_text.h"

#include <cstdio>

namespace velmora {

std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + n > s.size() || at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escaped[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
        } else if (byte < 0x80) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            ++i;
        } else if (const std::size_t n = Utf8SequenceLength(text, i); n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            ++i;
        } else if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X",
                          static_cast<unsigned char>(text[i + 1]));
            out += escaped;
            i += 2;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace velmora
