// MIDI messages as JSON objects, one per line (JSON Lines), for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// Bytes as upper-case hex pairs separated by single spaces: "90 3C 64".
std::string HexText(std::span<const std::uint8_t> bytes);

// {"time":12,"kind":"note-on","channel":1,"bytes":"90 3C 64","note":60,
//  "note_name":"C3","value":100,"details":"..."}: the channel (1 to 16) only
// for channel messages, note or controller and their names where they apply,
// the value 14-bit for pitch bend and song position. `timeMs` and `details`
// are left out when empty. No newline.
std::string ShortMessageJson(std::span<const std::uint8_t> bytes,
                             std::optional<std::int64_t> timeMs, std::string_view details);

// {"time":12,"kind":"sysex","block":1,"length":6,"bytes":"F0 ... F7","details":"..."}
std::string SysexJson(std::span<const std::uint8_t> bytes, int block,
                      std::optional<std::int64_t> timeMs, std::string_view details);

// {"time":12,"kind":"rates","details":"clock 120.0 BPM"}
std::string RatesJson(std::optional<std::int64_t> timeMs, std::string_view details);

} // namespace velmora
