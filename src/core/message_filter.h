// Which messages a command-line monitor shows: kinds of message by the short
// names a user types ("note,cc,sysex") and MIDI channels ("1,2,10-12").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

enum MessageKind : std::uint32_t {
    kKindNote = 1u << 0,     // note on, note off
    kKindCc = 1u << 1,       // control change
    kKindPc = 1u << 2,       // program change
    kKindPb = 1u << 3,       // pitch bend
    kKindAt = 1u << 4,       // polyphonic and channel aftertouch
    kKindSysex = 1u << 5,    // system exclusive
    kKindClock = 1u << 6,    // timing clock
    kKindSense = 1u << 7,    // active sensing
    kKindRealtime = 1u << 8, // the other real-time messages: start, stop, reset...
    kKindCommon = 1u << 9,   // system common: time code, song position and select...
};
inline constexpr std::uint32_t kAllKinds = (1u << 10) - 1;
// What is shown unless asked otherwise: everything but clock and sensing.
inline constexpr std::uint32_t kDefaultKinds = kAllKinds & ~(kKindClock | kKindSense);
inline constexpr std::uint16_t kAllChannels = 0xFFFF;

// The kind of the message with this status byte (F0 is sysex).
MessageKind KindOfStatus(std::uint8_t status);

// "note,cc,..." (commas, case-insensitive) as a set of kinds; false with
// `error` naming the word not understood.
bool ParseKinds(std::string_view list, std::uint32_t& kinds, std::string& error);

// "1,2,10-12": channels 1 to 16 as bit 0 to 15.
bool ParseChannels(std::string_view list, std::uint16_t& channels, std::string& error);

struct MessageFilter {
    std::uint32_t kinds = kDefaultKinds;
    std::uint16_t channels = kAllChannels; // channel messages of other channels are hidden

    bool Shows(std::uint8_t status) const;
};

} // namespace velmora
