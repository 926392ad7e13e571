#include "core/loopback_probe.h"

#include <algorithm>
#include <cmath>

namespace velmora {
namespace {

constexpr std::uint8_t kHead[] = {0xF0, 0x7D, 0x56, 0x4C};

} // namespace

std::vector<std::uint8_t> ProbeMessage(std::uint32_t number) {
    std::vector<std::uint8_t> bytes(std::begin(kHead), std::end(kHead));
    for (int shift = 21; shift >= 0; shift -= 7) {
        bytes.push_back(static_cast<std::uint8_t>((number >> shift) & 0x7F));
    }
    bytes.push_back(0xF7);
    return bytes;
}

std::optional<std::uint32_t> ProbeNumber(std::span<const std::uint8_t> message) {
    if (message.size() != kProbeBytes ||
        !std::equal(std::begin(kHead), std::end(kHead), message.begin()) ||
        message.back() != 0xF7) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 4; i < 8; ++i) {
        if (message[i] > 0x7F) {
            return std::nullopt;
        }
        number = (number << 7) | message[i];
    }
    return number;
}

LoopbackFigures LoopbackResult(std::span<const std::uint64_t> sentMicros,
                               std::span<const ProbeArrival> arrivals) {
    LoopbackFigures f;
    f.sent = sentMicros.size();
    std::vector<bool> back(sentMicros.size(), false);
    std::vector<std::uint64_t> latencies;
    std::optional<std::uint32_t> highest;
    for (const ProbeArrival& a : arrivals) {
        if (a.number >= sentMicros.size()) {
            continue;
        }
        if (back[a.number]) {
            ++f.duplicated;
            continue;
        }
        back[a.number] = true;
        ++f.received;
        if (highest && a.number < *highest) {
            ++f.reordered;
        }
        highest = std::max(highest.value_or(0), a.number);
        const std::uint64_t sent = sentMicros[a.number];
        latencies.push_back(a.micros > sent ? a.micros - sent : 0);
    }
    f.lost = f.sent - f.received;
    if (latencies.empty()) {
        return f;
    }
    LoopbackFigures::Latency l;
    double differences = 0;
    for (std::size_t i = 1; i < latencies.size(); ++i) {
        differences +=
            std::fabs(static_cast<double>(latencies[i]) - static_cast<double>(latencies[i - 1]));
    }
    l.jitter = latencies.size() > 1 ? differences / static_cast<double>(latencies.size() - 1) : 0;
    std::sort(latencies.begin(), latencies.end());
    const std::size_t n = latencies.size();
    l.min = latencies.front();
    l.max = latencies.back();
    l.median = latencies[(n - 1) / 2];
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    l.p99 = latencies[std::max<std::size_t>(rank, 1) - 1];
    f.latency = l;
    return f;
}

} // namespace velmora
