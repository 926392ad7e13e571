#include "core/sysex_text.h"

#include <cstdio>

namespace velmora {

std::string SysexBlockHeader(int number, std::size_t byteCount) {
    char text[64];
    std::snprintf(text, sizeof text, "Block #%d (%g bytes)", number,
                  static_cast<double>(byteCount));
    return text;
}

} // namespace velmora

namespace velmora {

std::string SysexHexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(bytes.size() * 3, ' ');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[3 * i] = kDigits[bytes[i] >> 4];
        text[3 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace velmora
