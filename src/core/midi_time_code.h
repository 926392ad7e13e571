// MIDI Time Code: the time carried by eight quarter-frame messages or by one
// full-frame sysex message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

struct TimeCode {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    int rate = 0; // the two rate bits: 24, 25, 29.97 drop-frame, 30 frames per second
};

// The hours byte of a full frame or of the last quarter frame: 0rrhhhhh.
TimeCode TimeCodeFromBytes(std::uint8_t hoursAndRate, std::uint8_t minutes, std::uint8_t seconds,
                           std::uint8_t frames);

// "01:02:03:04 at 25 fps", with a note when a field is out of its range.
std::string TimeCodeText(const TimeCode& tc);

// Assembles quarter frames (the data byte of F1: 0ppp dddd, piece p, value d).
// A time comes out when eight pieces have arrived in a row, 0 to 7 while the
// code runs forward or 7 to 0 while it runs backward; any other piece starts
// the count again.
class QuarterFrameAssembler {
  public:
    std::optional<TimeCode> Add(std::uint8_t data);
    void Reset() { count_ = 0; }

  private:
    std::uint8_t nibbles_[8] = {};
    int count_ = 0; // pieces in a row so far
    int last_ = -1; // the previous piece
    bool forward_ = true;
};

// What one quarter-frame piece carries: "frames low nibble 4".
std::string QuarterFramePieceText(std::uint8_t data);

} // namespace velmora
