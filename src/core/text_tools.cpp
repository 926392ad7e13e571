#include "core/text_tools.h"

#include <array>

namespace velmora {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

struct PitchName {
    const char* letter;
    const char* solfege; // Windows-1252: "\xE9" is é
};

// The solfège text of C sharp alone ends in a space: "C#3 (do# 3)".
constexpr std::array<PitchName, 12> kPitchNames{{
    {"C", " (do"},
    {"C#", " (do# "},
    {"D", " (r\xE9"},
    {"D#", " (r\xE9#"},
    {"E", " (mi"},
    {"F", " (fa"},
    {"F#", " (fa#"},
    {"G", " (sol"},
    {"G#", " (sol#"},
    {"A", " (la"},
    {"A#", " (la#"},
    {"B", " (si"},
}};

constexpr std::array<const char*, 128> kControllerNames = [] {
    std::array<const char*, 128> n{};
    n[0] = "BankSelMSB";
    n[1] = "Modulation";
    n[2] = "Breath Control";
    n[4] = "Foot Control";
    n[5] = "Portamento Time";
    n[6] = "Data Entry MSB";
    n[7] = "Main Volume";
    n[8] = "Balance";
    n[10] = "Pan";
    n[11] = "Expression";
    n[16] = "Gen.Purpose 1";
    n[17] = "Gen.Purpose 2";
    n[18] = "Gen.Purpose 3";
    n[19] = "Gen.Purpose 4";
    n[32] = "BankSelLSB";
    n[33] = "Modulation LSB";
    n[34] = "Breath Ctrl. LSB";
    n[36] = "Foot Ctrl. LSB";
    n[37] = "Port. Time LSB";
    n[38] = "Data Entry LSB";
    n[39] = "Main Vol. LSB";
    n[40] = "Balance LSB";
    n[42] = "Pan LSB";
    n[43] = "Expres. LSB";
    n[48] = "Gen.Purp.1 LSB";
    n[49] = "Gen.Purp.2 LSB";
    n[50] = "Gen.Purp.3 LSB";
    n[51] = "Gen.Purp.4 LSB";
    n[64] = "Hold 1";
    n[65] = "Portamento";
    n[66] = "Sostenuto";
    n[67] = "Soft pedal";
    n[69] = "Hold 2";
    n[71] = "Harmonic Ctrl.";
    n[72] = "Release Time";
    n[73] = "Attack Time";
    n[74] = "Brightness";
    n[80] = "Gen. Purpose 5";
    n[81] = "Gen. Purpose 6";
    n[82] = "Gen. Purpose 7";
    n[83] = "Gen. Purpose 8";
    n[84] = "Portamento Control";
    n[91] = "Reverb Depth";
    n[92] = "Effect 2 Depth";
    n[93] = "Chorus Depth";
    n[94] = "Effect 3 Depth";
    n[95] = "Phaser Depth";
    n[96] = "Data Incr.";
    n[97] = "Data Decr.";
    n[98] = "NRPN LSB";
    n[99] = "NRPN MSB";
    n[100] = "RPN LSB";
    n[101] = "RPN MSB";
    n[120] = "All Sound Off";
    n[121] = "Reset Controller";
    n[122] = "Local Control";
    n[123] = "All Note Off";
    n[124] = "Omni Mode Off";
    n[125] = "Omni Mode On";
    n[126] = "Mono Mode On";
    n[127] = "Poly Mode On";
    return n;
}();

void AppendHexPair(std::string& out, std::uint8_t value) {
    out.push_back(kHexDigits[value >> 4]);
    out.push_back(kHexDigits[value & 0x0F]);
}

} // namespace

std::string ByteToBin(std::uint8_t value) {
    std::string out(8, '0');
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit)) {
            out[7 - bit] = '1';
        }
    }
    return out;
}

std::string PadText(std::string_view text, int width) {
    if (width <= 0) {
        return {};
    }
    const auto w = static_cast<std::size_t>(width);
    std::string out(text.substr(0, w));
    out.resize(w, ' ');
    return out;
}

std::string HexBytes(std::uint8_t first, std::uint8_t second, std::uint8_t third) {
    std::string out;
    out.reserve(8);
    AppendHexPair(out, first);
    out.push_back(' ');
    AppendHexPair(out, second);
    out.push_back(' ');
    AppendHexPair(out, third);
    return out;
}

std::string DropFirstLine(std::string_view text, std::string_view separator, std::size_t limit) {
    if (text.size() < limit) {
        return std::string(text);
    }
    const auto pos = text.find(separator);
    if (pos == std::string_view::npos || separator.empty()) {
        // Every caller's entries end with the separator, so this text is not
        // theirs; leave it whole rather than cut into it.
        return std::string(text);
    }
    return std::string(text.substr(pos + separator.size()));
}

std::string NoteName(std::uint8_t note) {
    // -2 to 19, written without a conversion through a string of its own.
    const int number = note / 12 - 2;
    char digits[3];
    std::size_t length = 0;
    if (number < 0) {
        digits[length++] = '-';
    } else if (number >= 10) {
        digits[length++] = static_cast<char>('0' + number / 10);
    }
    digits[length++] = static_cast<char>('0' + (number < 0 ? -number : number % 10));
    const std::string_view octave(digits, length);
    const PitchName& pitch = kPitchNames[note % 12];
    std::string out;
    out.reserve(16);
    out += pitch.letter;
    out += octave;
    out += pitch.solfege;
    out += octave;
    out += ')';
    return out;
}

std::string NoteNameShort(int note) {
    // Truncating arithmetic: a negative note has a negative pitch class (no
    // name) unless it is a whole number of octaves below C-2.
    const int pitch = note % 12;
    if (pitch < 0) {
        return {};
    }
    return std::string(kPitchNames[static_cast<std::size_t>(pitch)].letter) +
           std::to_string(note / 12 - 2);
}

std::string ControlName(int controller) {
    if (controller >= 0 && controller < 128) {
        if (const char* name = kControllerNames[static_cast<std::size_t>(controller)]) {
            return name;
        }
    }
    return "Control " + std::to_string(controller);
}

std::string DecimalField(std::uint8_t value) {
    char digits[3];
    std::size_t length = 0;
    if (value >= 100) {
        digits[length++] = static_cast<char>('0' + value / 100);
    }
    if (value >= 10) {
        digits[length++] = static_cast<char>('0' + value / 10 % 10);
    }
    digits[length++] = static_cast<char>('0' + value % 10);
    return std::string(digits, length);
}

std::string HexField(std::uint8_t value) {
    std::string out = "H";
    AppendHexPair(out, value);
    return out;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace velmora
