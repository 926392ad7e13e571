// Text routines that render MIDI data for the monitors. Texts are single-byte
// Windows-1252 strings; every length and width counts bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Eight binary digits, most significant bit first: 0x90 -> "10010000".
std::string ByteToBin(std::uint8_t value);

// Fills with spaces on the right, or cuts, to exactly `width` characters.
std::string PadText(std::string_view text, int width);

// Three bytes as upper-case hex pairs separated by single spaces: "90 3C 64".
std::string HexBytes(std::uint8_t first, std::uint8_t second, std::uint8_t third);

// When `text` has reached `limit` characters, drops everything up to and
// including the first `separator`; otherwise returns `text` unchanged.
std::string DropFirstLine(std::string_view text, std::string_view separator, std::size_t limit);

// "C3 (do3)": English letter and octave, then the solfège name and octave.
std::string NoteName(std::uint8_t note);

// "C3": English letter and octave; empty for a negative note.
std::string NoteNameShort(int note);

// The controller's name, or "Control %d" where it has none.
std::string ControlName(int controller);

// The decimal field rendering: "%d".
std::string DecimalField(std::uint8_t value);

// The hexadecimal field rendering: "H" and two upper-case digits, "H90".
std::string HexField(std::uint8_t value);

// The value of a hexadecimal digit, either case; -1 for any other character.
int HexDigitValue(char c);

} // namespace velmora
