#include "core/router_rows.h"

#include <charconv>

namespace velmora {

RouterRows DefaultRouterRows() {
    RouterRows rows{};
    rows[0].on = true;
    return rows;
}

std::string RouterRowKey(int k) {
    return "Router" + std::to_string(k);
}

std::string RouterRowText(const RouterRow& row) {
    return std::string(row.on ? "1" : "0") + "," + std::to_string(row.channelIndex) + "," +
           std::to_string(row.transposeIndex) + "," + std::to_string(row.lowIndex) + "," +
           std::to_string(row.highIndex) + "," + row.device;
}

std::optional<RouterRow> RouterRowFrom(std::string_view text) {
    // Five numbers, each followed by a comma, then the name.
    int numbers[5] = {};
    constexpr int kHighest[5] = {1, 16, 48, 127, 127};
    for (int i = 0; i < 5; ++i) {
        const auto comma = text.find(',');
        if (comma == std::string_view::npos || comma == 0) {
            return std::nullopt;
        }
        const char* first = text.data();
        const char* last = text.data() + comma;
        const auto [end, error] = std::from_chars(first, last, numbers[i]);
        if (error != std::errc() || end != last || numbers[i] < 0 || numbers[i] > kHighest[i]) {
            return std::nullopt;
        }
        text.remove_prefix(comma + 1);
    }
    RouterRow row;
    row.on = numbers[0] == 1;
    row.channelIndex = numbers[1];
    row.transposeIndex = numbers[2];
    row.lowIndex = numbers[3];
    row.highIndex = numbers[4];
    row.device = std::string(text);
    return row;
}

} // namespace velmora
