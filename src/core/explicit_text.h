// The "Explicit" row of the data monitor: a message in words, the value for
// the "Event Value" bar and the events-history line built from them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/short_message.h"

namespace velmora {

constexpr int kHistoryLineWidth = 65; // without its CR LF

struct ExplicitText {
    std::array<std::string, 4> labels; // under "Status", "Data1", "Data2", "Channel"
    std::optional<int> bar;            // empty: the bar keeps its value
    std::string historyLine;           // 65 characters and CR LF
};

// Channel messages. `statusClass` is the status with its low four bits
// cleared, `channel` its low four bits (0 to 15).
ExplicitText Explicit(std::uint8_t statusClass, std::uint8_t data1, std::uint8_t data2,
                      std::uint8_t channel);

// System common and real-time messages (status above 0xF0).
ExplicitText explicitCommon(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

// The description of any message as the monitor would give it, without the
// monitor's filters: explicitCommon above 0xF0, else Explicit.
ExplicitText DescribeShortMessage(ShortMessage message);

} // namespace velmora
