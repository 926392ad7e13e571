// What the events history shows: messages can be hidden by kind and by
// channel. Hiding changes only what is shown; nothing else looks at it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

enum class MessageKind : std::uint8_t {
    Notes,
    Controllers,
    ProgramChange,
    PitchBend,
    Aftertouch, // channel and poly
    Sysex,
    Clock,
    ActiveSensing,
    OtherSystem,
};
inline constexpr std::size_t kMessageKindCount = 9;

// The kind of a message with this status byte (a data byte counts as other).
MessageKind KindOf(std::uint8_t status);
// A short name for menus and files: "Notes", "Controllers", ...
std::string_view KindName(MessageKind kind);

struct MessageFilter {
    std::array<bool, kMessageKindCount> hiddenKind{};
    std::array<bool, 16> hiddenChannel{}; // channel messages only

    bool Shows(std::uint8_t status) const;
    bool HidesAny() const;
    // As a settings value and back: "k" + nine 0/1 + "c" + sixteen 0/1.
    // A value that does not read whole gives the default (all shown).
    std::string Encode() const;
    static MessageFilter Decode(std::string_view text);
};

} // namespace velmora
