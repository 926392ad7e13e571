#include "core/midi_time_code.h"

#include <cstdio>

namespace velmora {

TimeCode TimeCodeFromBytes(std::uint8_t hoursAndRate, std::uint8_t minutes, std::uint8_t seconds,
                           std::uint8_t frames) {
    return {hoursAndRate & 0x1F, minutes & 0x3F, seconds & 0x3F, frames & 0x1F,
            (hoursAndRate >> 5) & 0x03};
}

std::string TimeCodeText(const TimeCode& tc) {
    static constexpr const char* kRates[] = {"24 fps", "25 fps", "29.97 fps drop-frame", "30 fps"};
    static constexpr int kFrames[] = {24, 25, 30, 30};
    const int rate = tc.rate & 3;
    char text[80];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d at %s", tc.hours, tc.minutes, tc.seconds,
                  tc.frames, kRates[rate]);
    std::string out = text;
    if (tc.hours > 23 || tc.minutes > 59 || tc.seconds > 59 || tc.frames >= kFrames[rate]) {
        out += " (out of range)";
    }
    return out;
}

std::optional<TimeCode> QuarterFrameAssembler::Add(std::uint8_t data) {
    const int piece = (data >> 4) & 0x07;
    nibbles_[piece] = data & 0x0F;
    if (count_ > 0 && count_ < 8 && forward_ && piece == last_ + 1) {
        ++count_;
    } else if (count_ > 0 && count_ < 8 && !forward_ && piece == last_ - 1) {
        ++count_;
    } else if (piece == 0 || piece == 7) {
        count_ = 1;
        forward_ = piece == 0;
    } else {
        count_ = 0;
    }
    last_ = piece;
    if (count_ != 8) {
        return std::nullopt;
    }
    count_ = 0;
    const auto byte = [this](int low) {
        return static_cast<std::uint8_t>(nibbles_[low] | nibbles_[low + 1] << 4);
    };
    return TimeCodeFromBytes(byte(6), byte(4), byte(2), byte(0));
}

std::string QuarterFramePieceText(std::uint8_t data) {
    static constexpr const char* kPieces[] = {"frames low nibble",  "frames high nibble",
                                              "seconds low nibble", "seconds high nibble",
                                              "minutes low nibble", "minutes high nibble",
                                              "hours low nibble",   "hours high nibble and rate"};
    const int piece = (data >> 4) & 0x07;
    return "time code piece " + std::to_string(piece) + ", " + kPieces[piece] + " " +
           std::to_string(data & 0x0F);
}

} // namespace velmora
