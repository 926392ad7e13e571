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
