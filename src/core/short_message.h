// A MIDI short message packed in 32 bits as the input service delivers it:
// status in bits 0-7, data 1 in bits 8-15, data 2 in bits 16-23.
#pragma once

#include <cstdint>

namespace velmora {

using ShortMessage = std::uint32_t;

constexpr ShortMessage kActiveSensing = 0xFE;
constexpr ShortMessage kTimingClock = 0xF8;

constexpr ShortMessage PackShortMessage(std::uint8_t status, std::uint8_t data1,
                                        std::uint8_t data2) {
    return ShortMessage{status} | (ShortMessage{data1} << 8) | (ShortMessage{data2} << 16);
}
constexpr std::uint8_t StatusOf(ShortMessage m) {
    return static_cast<std::uint8_t>(m & 0xFF);
}
constexpr std::uint8_t Data1Of(ShortMessage m) {
    return static_cast<std::uint8_t>((m >> 8) & 0xFF);
}
constexpr std::uint8_t Data2Of(ShortMessage m) {
    return static_cast<std::uint8_t>((m >> 16) & 0xFF);
}

// The number of bytes of a short message with this status byte: 2 for
// program change, channel pressure, quarter frame and song select, 3 for the
// other channel messages and song position, 1 for the rest; 0 for a data byte.
constexpr int ShortMessageBytes(std::uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        const int kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    if (status == 0xF1 || status == 0xF3) {
        return 2;
    }
    return status == 0xF2 ? 3 : 1;
}

} // namespace velmora
