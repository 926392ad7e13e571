// Names of the sysex manufacturer IDs, from the public list kept in
// data/midi-manufacturer-ids.tsv and compiled into the table at build time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velmora {

struct ManufacturerId {
    std::size_t length = 0; // 1, or 3 for 00 xx yy; 0 when the bytes hold no ID
    std::string_view name;  // UTF-8; empty when the ID is not listed
};

// The manufacturer ID at the start of `afterF0` (the bytes that follow F0).
// 7D, 7E and 7F (non-commercial and the universal IDs) are named too.
ManufacturerId FindManufacturer(std::span<const std::uint8_t> afterF0);

namespace detail {
struct ManufacturerEntry {
    std::uint32_t key; // a one-byte ID, or 0x010000 | xx << 8 | yy
    const char* name;
};
extern const ManufacturerEntry kManufacturerTable[];
extern const std::size_t kManufacturerCount;
} // namespace detail

} // namespace velmora
