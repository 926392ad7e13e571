// What a stream of MIDI messages says beyond each message on its own: pitch
// bend as a signed value, 14-bit controller pairs, RPN and NRPN per channel,
// MIDI Time Code assembled from quarter frames, song position in bars,
// channel mode messages explained, sysex named, and the rates of timing
// clock and active sensing. Fed one message at a time, in arrival order; the
// caller gives the times, the decoder reads no clock.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "core/event_rate.h"
#include "core/midi_time_code.h"
#include "core/short_message.h"

namespace velmora {

class MessageDetails {
  public:
    // For messages whose arrival time the caller does not know.
    static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

    // The details of a short message in UTF-8, "" when there is nothing to add.
    std::string Short(ShortMessage message, std::int64_t timeUs = kNoTime);
    // The details of a sysex message starting with F0 (its F7 may be missing
    // when it is the first block of a longer one).
    std::string Sysex(std::span<const std::uint8_t> bytes);
    // "clock 120.0 BPM, active sensing 3.3/s": what the counted messages have
    // come at lately; "" when neither came within a second before `nowUs`.
    std::string Rates(std::int64_t nowUs) const;
    // The same as numbers: beats per minute of the clock, active sensing
    // messages per second; empty when they stopped.
    std::optional<double> ClockBpm(std::int64_t nowUs) const;
    std::optional<double> SensingPerSecond(std::int64_t nowUs) const;
    // Forgets every channel's state, the time code pieces and the counts.
    void Reset();

  private:
    enum class Parameter : std::uint8_t { None, Registered, NonRegistered, Null };
    struct Channel {
        std::array<std::int8_t, 32> msb; // last MSB of controllers 0-31, -1 for none
        std::int8_t rpn[2] = {-1, -1};   // parameter number MSB, LSB (CC 101, 100)
        std::int8_t nrpn[2] = {-1, -1};  // CC 99, 98
        Parameter selected = Parameter::None;
        int value = -1;     // the selected parameter's 14-bit value, -1 until data entry
        int bendCents = -1; // pitch bend sensitivity, -1 while unknown
        Channel() { msb.fill(-1); }
    };

    std::string Controller(Channel& ch, int number, int value);
    std::string Select(Channel& ch, int number, int value);
    std::string DataEntry(Channel& ch, int number, int value);
    std::string PitchBend(const Channel& ch, int value) const;

    std::array<Channel, 16> channels_;
    QuarterFrameAssembler timeCode_;
    EventRate clock_{1'000'000};
    EventRate sensing_{1'000'000};
};

} // namespace velmora
