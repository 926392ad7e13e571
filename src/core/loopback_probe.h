// A loopback test's probes and figures: numbered probe messages go out
// through a cable or device and come back; from when each was sent and when
// what came back arrived follow the messages lost, duplicated and reordered,
// and the round trip's latency and jitter. Plain data, no clock: the caller
// stamps every send and arrival.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora {

// A probe: a non-commercial sysex message, F0 7D 56 4C, the number in four
// 7-bit bytes (most significant first), F7. Numbers run below 2^28.
constexpr std::size_t kProbeBytes = 9;
std::vector<std::uint8_t> ProbeMessage(std::uint32_t number);
// The number of a whole probe message; nothing for any other message.
std::optional<std::uint32_t> ProbeNumber(std::span<const std::uint8_t> message);

struct ProbeArrival {
    std::uint32_t number = 0;
    std::uint64_t micros = 0;
};

struct LoopbackFigures {
    std::size_t sent = 0;
    std::size_t received = 0;   // probes that came back, each counted once
    std::size_t lost = 0;       // sent and never back
    std::size_t duplicated = 0; // arrivals of a probe already back
    std::size_t reordered = 0;  // probes back after one sent later
    // Round-trip latency in microseconds, over the first arrival of each
    // probe back; nothing when none came back. The 99th percentile is the
    // nearest rank's. Jitter: the mean difference between the latencies of
    // consecutive arrivals.
    struct Latency {
        std::uint64_t min = 0, median = 0, p99 = 0, max = 0;
        double jitter = 0;
    };
    std::optional<Latency> latency;
};

// `sentMicros[n]`: when probe n went out. Arrivals in the order they came;
// numbers never sent are ignored.
LoopbackFigures LoopbackResult(std::span<const std::uint64_t> sentMicros,
                               std::span<const ProbeArrival> arrivals);

} // namespace velmora
