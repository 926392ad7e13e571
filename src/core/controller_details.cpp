#include "core/controller_details.h"

#include <algorithm>
#include <cstdio>

namespace velmora {
namespace {

std::string Signed(int value) {
    return (value > 0 ? "+" : "") + std::to_string(value);
}

std::string Format(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Parameters whose value is the MSB alone.
bool CoarseOnly(int msb, int lsb) {
    return msb == 0 && (lsb == 2 || lsb == 3 || lsb == 4);
}

} // namespace

std::string RegisteredParameterName(int msb, int lsb) {
    if (msb == 0x7F && lsb == 0x7F) {
        return "RPN null";
    }
    if (msb == 0x3D) {
        return "3D sound controller " + std::to_string(lsb);
    }
    if (msb != 0) {
        return {};
    }
    switch (lsb) {
    case 0:
        return "pitch bend sensitivity";
    case 1:
        return "fine tuning";
    case 2:
        return "coarse tuning";
    case 3:
        return "tuning program select";
    case 4:
        return "tuning bank select";
    case 5:
        return "modulation depth range";
    default:
        return {};
    }
}

std::string RegisteredValueText(int msb, int lsb, int value) {
    const int high = value >> 7, low = value & 0x7F;
    if (msb == 0) {
        switch (lsb) {
        case 0:
            return std::to_string(high) + " semitones " + std::to_string(low) + " cents";
        case 1:
            return Format("%+.2f cents", (value - 8192) * 100.0 / 8192.0);
        case 2:
            return Signed(high - 64) + " semitones";
        case 3:
            return "program " + std::to_string(high);
        case 4:
            return "bank " + std::to_string(high);
        case 5: // the LSB counts 128ths of a semitone
            return std::to_string(high) + " semitones " + Format("%.1f cents", low * 100.0 / 128.0);
        default:
            break;
        }
    }
    return std::to_string(value) + " (MSB " + std::to_string(high) + ", LSB " +
           std::to_string(low) + ")";
}

int StepRegisteredValue(int msb, int lsb, int value, int direction) {
    if (CoarseOnly(msb, lsb)) {
        return std::clamp((value & ~0x7F) + direction * 128, 0, 127 * 128);
    }
    if (msb == 0 && lsb == 0) { // cents carry into semitones at 100
        int semitones = value >> 7, cents = std::min(value & 0x7F, 99) + direction;
        if (cents > 99) {
            cents = 0;
            ++semitones;
        } else if (cents < 0) {
            cents = semitones > 0 ? 99 : 0;
            semitones = std::max(semitones - 1, 0);
        }
        return std::min(semitones, 127) * 128 + (semitones > 127 ? 99 : cents);
    }
    return std::clamp(value + direction, 0, 16383);
}

std::string ChannelModeText(int controller, int value) {
    switch (controller) {
    case 120:
        return "all sound off: every voice stops at once";
    case 121:
        return "reset all controllers to their defaults";
    case 122:
        return value == 0 ? "local control off: the keyboard plays only MIDI out"
               : value == 127
                   ? "local control on: the keyboard plays the instrument"
                   : "local control, value " + std::to_string(value) + " (0 off, 127 on)";
    case 123:
        return "all notes off (held by the sustain pedal until it is released)";
    case 124:
        return "omni mode off, and all notes off";
    case 125:
        return "omni mode on, and all notes off";
    case 126:
        return (value == 0 ? std::string("mono mode on, as many channels as voices")
                           : "mono mode on, " + std::to_string(value) +
                                 (value == 1 ? " channel" : " channels")) +
               ", and all notes off";
    case 127:
        return "poly mode on, and all notes off";
    default:
        return {};
    }
}

} // namespace velmora
