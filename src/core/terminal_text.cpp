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

namespace {

// The code point of a valid UTF-8 sequence of `n` bytes.
char32_t CodePoint(std::string_view sequence) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(sequence[k]); };
    const std::size_t n = sequence.size();
    char32_t c = at(0) & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < n; ++k) {
        c = (c << 6) | (at(k) & 0x3F);
    }
    return c;
}

bool IsBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escaped[16];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\\') {
            out += "\\\\";
            ++i;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
        } else if (byte < 0x80) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            ++i;
        } else if (const std::size_t n = Utf8SequenceLength(text, i); n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
            ++i;
        } else if (const char32_t c = CodePoint(text.substr(i, n));
                   (c >= 0x80 && c <= 0x9F) || IsBidiControl(c)) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
            i += n;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace velmora
