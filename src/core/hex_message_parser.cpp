#include "core/hex_message_parser.h"

#include <array>

namespace velmora {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

ParsedMessage Fail(std::string why) {
    return {false, 0, std::move(why)};
}

} // namespace

ParsedMessage ParseHexMessage(std::string_view text) {
    std::array<unsigned, 3> bytes{};
    std::size_t count = 0;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            break;
        }
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        const std::string_view token = text.substr(start, i - start);
        unsigned value = 0;
        for (const char c : token) {
            const int digit = HexValue(c);
            if (digit < 0) {
                return Fail("\"" + std::string(token) + "\" is not a hexadecimal byte");
            }
            // Saturate: any value past FF is refused below, however long.
            value = value > 0xFFu ? value : value * 16 + static_cast<unsigned>(digit);
        }
        if (value > 0xFF) {
            return Fail("\"" + std::string(token) + "\" is above FF");
        }
        if (count == bytes.size()) {
            return Fail("more than three bytes");
        }
        bytes[count++] = value;
    }
    if (count == 0) {
        return Fail("empty line, expected 1 to 3 hexadecimal bytes");
    }
    return {true,
            PackShortMessage(static_cast<std::uint8_t>(bytes[0]),
                             static_cast<std::uint8_t>(bytes[1]),
                             static_cast<std::uint8_t>(bytes[2])),
            {}};
}

} // namespace velmora
