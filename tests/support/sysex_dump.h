// Sysex messages to play, record, send and save in tests, and files of them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace velmora::testing {

using Bytes = std::vector<std::uint8_t>;

// A sysex message of `size` bytes (at least 2): F0, data bytes, F7. The byte
// at position i is (i * step + seed) % 128, so different seeds make different
// messages of one size, and step 0 fills the message with `seed`.
inline std::vector<std::uint8_t> SysexDump(std::size_t size, std::uint8_t seed = 0,
                                           unsigned step = 1) {
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(size, 2));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * step + seed) % 128);
    }
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// A long sysex message in which no 128 bytes repeat the 128 before them, so
// that a block lost, repeated or moved on the way changes the bytes.
inline std::vector<std::uint8_t> UnevenSysexDump(std::size_t size) {
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(size, 2));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 128) & 0x7F);
    }
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// The parts one after the other, as a file or a stream holds them.
inline std::vector<std::uint8_t> Joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

} // namespace velmora::testing
