#include "core/loopback_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmora {
namespace {

constexpr std::uint32_t kProbeBits = 1u << 14;
constexpr std::uint8_t kSysexTag[] = {0xF0, 0x7D, 0x56, 0x4C, 0x50};
constexpr std::size_t kSysexHeader = sizeof kSysexTag + 2;

std::string Millis(std::int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(micros) / 1000.0);
    return text;
}

} // namespace

ShortMessage LoopbackProbe(std::uint32_t number) {
    const std::uint32_t bits = number % kProbeBits;
    return PackShortMessage(0xF2, static_cast<std::uint8_t>(bits & 0x7F),
                            static_cast<std::uint8_t>(bits >> 7));
}

std::optional<std::uint32_t> LoopbackProbeBits(ShortMessage message) {
    if (StatusOf(message) != 0xF2) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(Data1Of(message) & 0x7F) |
           static_cast<std::uint32_t>(Data2Of(message) & 0x7F) << 7;
}

std::vector<std::uint8_t> LoopbackSysexProbe(std::uint32_t number, std::size_t size) {
    size = std::max(size, kSysexHeader + 1);
    const std::uint32_t bits = number % kProbeBits;
    std::vector<std::uint8_t> bytes(std::begin(kSysexTag), std::end(kSysexTag));
    bytes.push_back(static_cast<std::uint8_t>(bits & 0x7F));
    bytes.push_back(static_cast<std::uint8_t>(bits >> 7));
    // Every data value occurs, shifted by the number, so a byte dropped,
    // doubled or changed anywhere shows.
    for (std::size_t i = bytes.size(); i + 1 < size; ++i) {
        bytes.push_back(static_cast<std::uint8_t>((i * 7 + bits) & 0x7F));
    }
    bytes.push_back(0xF7);
    return bytes;
}

std::optional<std::uint32_t> LoopbackSysexProbeBits(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kSysexHeader ||
        !std::equal(std::begin(kSysexTag), std::end(kSysexTag), bytes.begin())) {
        return std::nullopt;
    }
    const std::uint8_t low = bytes[sizeof kSysexTag], high = bytes[sizeof kSysexTag + 1];
    if (low > 0x7F || high > 0x7F) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(low) | static_cast<std::uint32_t>(high) << 7;
}

std::optional<std::uint32_t> LoopbackSysexArrival(std::span<const std::uint8_t> bytes,
                                                  std::size_t size, std::uint32_t sentSoFar) {
    const auto bits = LoopbackSysexProbeBits(bytes);
    const auto number = bits ? LoopbackProbeNumber(*bits, sentSoFar) : std::nullopt;
    if (!number) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t> expected = LoopbackSysexProbe(*number, size);
    if (!std::equal(bytes.begin(), bytes.end(), expected.begin(), expected.end())) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::uint32_t> LoopbackProbeNumber(std::uint32_t bits, std::uint32_t sentSoFar) {
    if (bits >= kProbeBits || sentSoFar == 0) {
        return std::nullopt;
    }
    const std::uint32_t last = sentSoFar - 1;
    const std::uint32_t lastBits = last % kProbeBits;
    const std::uint32_t back = (lastBits + kProbeBits - bits) % kProbeBits;
    if (back > last) {
        return std::nullopt;
    }
    return last - back;
}

LoopbackReport SummarizeLoopback(std::span<const std::int64_t> sentMicros,
                                 std::span<const LoopbackArrival> arrivals) {
    LoopbackReport report;
    report.sent = sentMicros.size();
    std::vector<bool> back(sentMicros.size(), false);
    std::vector<std::int64_t> latencies; // in order of arrival
    std::optional<std::uint32_t> highest;
    for (const LoopbackArrival& a : arrivals) {
        if (!a.number || *a.number >= sentMicros.size()) {
            ++report.damaged;
            continue;
        }
        const std::uint32_t n = *a.number;
        if (back[n]) {
            ++report.duplicated;
            continue;
        }
        back[n] = true;
        ++report.received;
        if (highest && n < *highest) {
            ++report.reordered;
        }
        highest = std::max(highest.value_or(0), n);
        latencies.push_back(a.micros - sentMicros[n]);
    }
    report.lost = report.sent - report.received;
    if (latencies.empty()) {
        return report;
    }
    LoopbackLatency l;
    std::int64_t steps = 0;
    for (std::size_t i = 1; i < latencies.size(); ++i) {
        steps += std::abs(latencies[i] - latencies[i - 1]);
    }
    l.jitter = latencies.size() > 1 ? steps / static_cast<std::int64_t>(latencies.size() - 1) : 0;
    std::sort(latencies.begin(), latencies.end());
    const auto rank = [&](double share) {
        // Nearest rank: the smallest latency at or above this share of all.
        const auto at = static_cast<std::size_t>(
            std::max<double>(1.0, std::ceil(share * static_cast<double>(latencies.size()))));
        return latencies[at - 1];
    };
    l.minimum = latencies.front();
    l.median = rank(0.5);
    l.p99 = rank(0.99);
    l.maximum = latencies.back();
    report.latency = l;
    return report;
}

void LoopbackCollector::Short(ShortMessage message, std::uint32_t sentSoFar, std::int64_t micros) {
    if (const auto bits = LoopbackProbeBits(message); bits && sysexBytes_ == 0) {
        arrivals_.push_back({LoopbackProbeNumber(*bits, sentSoFar), micros});
    }
}

void LoopbackCollector::Block(std::span<const std::uint8_t> block, std::uint32_t sentSoFar,
                              std::int64_t micros) {
    if (block.empty() || sysexBytes_ == 0) {
        return;
    }
    if (block.front() == 0xF0) {
        EndSysex(sentSoFar, micros); // one cut short by the next
    }
    // Far longer than a probe is kept no further: its end will tell.
    constexpr std::size_t kSlack = 4096;
    if (sysex_.size() + block.size() <= sysexBytes_ + kSlack) {
        sysex_.insert(sysex_.end(), block.begin(), block.end());
    }
    if (block.back() == 0xF7) {
        EndSysex(sentSoFar, micros);
    }
}

void LoopbackCollector::End(std::uint32_t sentSoFar, std::int64_t micros) {
    EndSysex(sentSoFar, micros);
}

// A whole (or cut) sysex came back: a probe, a damaged one, or none of ours.
void LoopbackCollector::EndSysex(std::uint32_t sentSoFar, std::int64_t micros) {
    if (sysex_.empty()) {
        return;
    }
    if (LoopbackSysexProbeBits(sysex_)) {
        arrivals_.push_back({LoopbackSysexArrival(sysex_, sysexBytes_, sentSoFar), micros});
    }
    sysex_.clear();
}

std::string LoopbackReportText(const LoopbackReport& r) {
    const auto line = [](const char* name, std::uint64_t n) {
        return std::string(name) + ": " + std::to_string(n) + "\n";
    };
    std::string text = line("sent", r.sent) + line("received", r.received) + line("lost", r.lost) +
                       line("duplicated", r.duplicated) + line("reordered", r.reordered) +
                       line("damaged", r.damaged);
    if (r.latency) {
        const LoopbackLatency& l = *r.latency;
        text += "latency: min " + Millis(l.minimum) + ", median " + Millis(l.median) + ", p99 " +
                Millis(l.p99) + ", max " + Millis(l.maximum) + "\n";
        text += "jitter: " + Millis(l.jitter) + "\n";
    } else {
        text += "latency: nothing came back\n";
    }
    return text;
}

} // namespace velmora
