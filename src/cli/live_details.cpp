#include "cli/live_details.h"

#include <cmath>

#include "core/hex_message_parser.h"

namespace velmora::cli {
namespace {

std::int64_t Us(std::int32_t ms) {
    return std::int64_t{ms} * 1000;
}

std::string Appended(const std::string& details) {
    return details.empty() ? details : "  " + details;
}

} // namespace

std::string LiveDetails::Short(ShortMessage message, std::int32_t ms) {
    return Appended(details_.Short(message, Us(ms)));
}

std::string LiveDetails::SysexBlock(const std::string& hexText) {
    if (!hexText.starts_with("F0")) {
        return {};
    }
    return Appended(details_.Sysex(ParseHexBytes(hexText, hexText.size()).bytes));
}

void LiveDetails::Clock(std::int32_t ms) {
    details_.Short(kTimingClock, Us(ms));
}

std::optional<std::string> LiveDetails::RatesLine(std::int32_t ms) {
    if (ms - lastRatesMs_ < 1000) {
        return std::nullopt;
    }
    const auto clock = details_.ClockBpm(Us(ms));
    const auto sensing = details_.SensingPerSecond(Us(ms));
    const auto moved = [](const std::optional<double>& a, const std::optional<double>& b) {
        return a.has_value() != b.has_value() || (a && std::abs(*a - *b) >= 0.5);
    };
    if (!moved(clock, shownClock_) && !moved(sensing, shownSensing_)) {
        return std::nullopt;
    }
    shownClock_ = clock;
    shownSensing_ = sensing;
    lastRatesMs_ = ms;
    const std::string rates = details_.Rates(Us(ms));
    return rates.empty() ? "clock and active sensing stopped" : rates;
}

} // namespace velmora::cli
