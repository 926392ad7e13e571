#include "core/manufacturer_ids.h"

#include <algorithm>

namespace velmora {

ManufacturerId FindManufacturer(std::span<const std::uint8_t> afterF0) {
    if (afterF0.empty() || afterF0[0] > 0x7F) {
        return {};
    }
    std::uint32_t key = afterF0[0];
    std::size_t length = 1;
    if (key == 0) {
        if (afterF0.size() < 3 || afterF0[1] > 0x7F || afterF0[2] > 0x7F) {
            return {};
        }
        key = 0x010000u | std::uint32_t{afterF0[1]} << 8 | afterF0[2];
        length = 3;
    }
    switch (key) {
    case 0x7D:
        return {1, "non-commercial (education and development)"};
    case 0x7E:
        return {1, "universal non-real-time"};
    case 0x7F:
        return {1, "universal real-time"};
    default:
        break;
    }
    const auto* begin = detail::kManufacturerTable;
    const auto* end = begin + detail::kManufacturerCount;
    const auto* it =
        std::lower_bound(begin, end, key, [](const detail::ManufacturerEntry& e, std::uint32_t k) {
            return e.key < k;
        });
    if (it == end || it->key != key) {
        return {length, {}};
    }
    return {length, it->name};
}

} // namespace velmora
