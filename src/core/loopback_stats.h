// The loopback test's arithmetic: numbered probe messages sent out through a
// cable or device and back, and what became of them (lost, duplicated,
// reordered, damaged) with their round-trip latency and jitter. Plain data
// and plain functions: the caller keeps the times, from any clock, so the
// command line, the window and the tests count alike.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/short_message.h"

namespace velmora {

// A short probe: song position pointer (F2) carrying the probe number
// modulo 16384 in its 14 bits. Nothing plays or changes sound on it, and a
// device that passes MIDI on passes it.
ShortMessage LoopbackProbe(std::uint32_t number);
// The 14 bits a probe carries, or nothing for any other message.
std::optional<std::uint32_t> LoopbackProbeBits(ShortMessage message);

// A sysex probe of `size` bytes (at least 8): F0 7D (non-commercial), the
// tag 56 4C 50 ("VLP"), the number in two 7-bit bytes, a pattern that
// changes with the number and the position, F7.
std::vector<std::uint8_t> LoopbackSysexProbe(std::uint32_t number, std::size_t size);
// The number a received sysex claims to be (its header read), or nothing
// when it is no loopback probe at all.
std::optional<std::uint32_t> LoopbackSysexProbeBits(std::span<const std::uint8_t> bytes);

// The probe a received sysex is, checked byte for byte against the probe of
// that number and `size`; nothing when it is no probe or was damaged.
std::optional<std::uint32_t> LoopbackSysexArrival(std::span<const std::uint8_t> bytes,
                                                  std::size_t size, std::uint32_t sentSoFar);

// The number of the probe sent last with these 14 bits, out of `sentSoFar`
// probes numbered from 0; nothing when no such probe was sent yet.
std::optional<std::uint32_t> LoopbackProbeNumber(std::uint32_t bits, std::uint32_t sentSoFar);

// A message that came back: the probe it is (nothing for a message that is
// no probe or was damaged on the way) and when it arrived, in microseconds
// on the clock the send times were taken on.
struct LoopbackArrival {
    std::optional<std::uint32_t> number;
    std::int64_t micros = 0;
};

struct LoopbackLatency {
    std::int64_t minimum = 0; // microseconds
    std::int64_t median = 0;
    std::int64_t p99 = 0; // the 99th percentile, nearest rank
    std::int64_t maximum = 0;
    // The mean difference between the latencies of probes that came back
    // one after the other: how unevenly the way delays them.
    std::int64_t jitter = 0;
};

struct LoopbackReport {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;             // probes that came back, each counted once
    std::uint64_t lost = 0;                 // sent and never back
    std::uint64_t duplicated = 0;           // arrivals of a probe already back
    std::uint64_t reordered = 0;            // probes back after a later-sent one
    std::uint64_t damaged = 0;              // arrivals that are no probe sent
    std::optional<LoopbackLatency> latency; // when anything came back
    // True when every probe came back once, undamaged and in order.
    bool Clean() const { return lost == 0 && duplicated == 0 && reordered == 0 && damaged == 0; }
};

// `sentMicros[n]` is when probe n went out; `arrivals` in the order they
// came back.
LoopbackReport SummarizeLoopback(std::span<const std::int64_t> sentMicros,
                                 std::span<const LoopbackArrival> arrivals);

// What came back, in the order it came: short probes when `sysexBytes` is 0,
// else sysex probes of that many bytes, put together from their blocks.
// `sentSoFar` is how many probes were out when the message arrived.
class LoopbackCollector {
  public:
    explicit LoopbackCollector(std::size_t sysexBytes) : sysexBytes_(sysexBytes) {}

    void Short(ShortMessage message, std::uint32_t sentSoFar, std::int64_t micros);
    // A block of a sysex message: the first starts with F0, the last ends
    // with F7. One cut short by the next counts as damaged.
    void Block(std::span<const std::uint8_t> block, std::uint32_t sentSoFar, std::int64_t micros);
    // The run is over: a sysex still coming counts as damaged.
    void End(std::uint32_t sentSoFar, std::int64_t micros);

    const std::vector<LoopbackArrival>& Arrivals() const { return arrivals_; }

  private:
    void EndSysex(std::uint32_t sentSoFar, std::int64_t micros);

    const std::size_t sysexBytes_;
    std::vector<LoopbackArrival> arrivals_;
    std::vector<std::uint8_t> sysex_;
};

// The report in English, one figure a line, latencies in milliseconds with
// three decimals.
std::string LoopbackReportText(const LoopbackReport& report);

} // namespace velmora
