// The notes a stream of MIDI messages leaves sounding, and the messages
// that silence them: for a panic and for a player that is stopped half-way.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "core/short_message.h"

namespace velmora {

class NoteTracker {
  public:
    // One whole message, status byte first (a note-on of velocity 0 is a
    // note-off); anything else than notes only marks its channel as used.
    void Feed(std::span<const std::uint8_t> message);
    void Feed(ShortMessage message);

    bool IsOn(int channel, int note) const { return on_[channel][note] != 0; }
    int NotesOn() const;
    // The channels (bits 0-15) any channel message was seen on.
    std::uint16_t ChannelsUsed() const { return channelsUsed_; }

  private:
    // How many note-ons each key has had without a note-off: a second
    // note-on of a key is still silenced by the one note-off.
    std::array<std::array<std::uint8_t, 128>, 16> on_{};
    std::uint16_t channelsUsed_ = 0;
};

// A panic: a note-off for every note `seen` left on, or, when nothing was
// tracked (`seen` null), for every note of every channel; then on all 16
// channels All Notes Off (controller 123) and the sustain pedal up
// (controller 64 to 0).
std::vector<ShortMessage> PanicMessages(const NoteTracker* seen);

// What a stopped player sends: a note-off for each note still on, then All
// Notes Off and sustain off on the channels it used.
std::vector<ShortMessage> StopMessages(const NoteTracker& played);

} // namespace velmora
