#include "core/message_json.h"

#include "core/cp1252.h"
#include "core/json_text.h"
#include "core/text_tools.h"

namespace velmora {
namespace {

const char* KindName(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0x80:
        return "note-off";
    case 0x90:
        return "note-on";
    case 0xA0:
        return "poly-aftertouch";
    case 0xB0:
        return "control-change";
    case 0xC0:
        return "program-change";
    case 0xD0:
        return "channel-aftertouch";
    case 0xE0:
        return "pitch-bend";
    default:
        break;
    }
    switch (status) {
    case 0xF0:
        return "sysex";
    case 0xF1:
        return "time-code-quarter-frame";
    case 0xF2:
        return "song-position";
    case 0xF3:
        return "song-select";
    case 0xF6:
        return "tune-request";
    case 0xF7:
        return "end-of-exclusive";
    case 0xF8:
        return "clock";
    case 0xFA:
        return "start";
    case 0xFB:
        return "continue";
    case 0xFC:
        return "stop";
    case 0xFE:
        return "active-sensing";
    case 0xFF:
        return "reset";
    default:
        return "undefined";
    }
}

void Field(std::string& out, const char* name, const std::string& json) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += name;
    out += "\":";
    out += json;
}

void Begin(std::string& out, std::optional<std::int64_t> timeMs, const char* kind) {
    out.assign(1, '{');
    if (timeMs) {
        Field(out, "time", std::to_string(*timeMs));
    }
    Field(out, "kind", JsonString(kind));
}

void End(std::string& out, std::string_view details) {
    if (!details.empty()) {
        Field(out, "details", JsonString(details));
    }
    out += '}';
}

} // namespace

std::string HexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string ShortMessageJson(std::span<const std::uint8_t> bytes,
                             std::optional<std::int64_t> timeMs, std::string_view details) {
    std::string out;
    const std::uint8_t status = bytes.empty() ? 0 : bytes[0];
    const int d1 = bytes.size() > 1 ? bytes[1] : -1;
    const int d2 = bytes.size() > 2 ? bytes[2] : -1;
    Begin(out, timeMs, KindName(status));
    if (status >= 0x80 && status < 0xF0) {
        Field(out, "channel", std::to_string((status & 0x0F) + 1));
    }
    Field(out, "bytes", JsonString(HexText(bytes)));
    const int kind = status < 0xF0 ? status & 0xF0 : status;
    if ((kind == 0x80 || kind == 0x90 || kind == 0xA0) && d1 >= 0) {
        Field(out, "note", std::to_string(d1));
        Field(out, "note_name", JsonString(NoteNameShort(d1)));
    } else if (kind == 0xB0 && d1 >= 0) {
        Field(out, "controller", std::to_string(d1));
        Field(out, "controller_name", JsonString(Cp1252ToUtf8(ControlName(d1))));
    }
    if ((kind == 0xE0 || kind == 0xF2) && d2 >= 0) {
        Field(out, "value", std::to_string(d1 | (d2 << 7)));
    } else if (kind == 0xC0 || kind == 0xD0 || kind == 0xF1 || kind == 0xF3) {
        if (d1 >= 0) {
            Field(out, "value", std::to_string(d1));
        }
    } else if (kind >= 0x80 && kind < 0xF0 && d2 >= 0) {
        Field(out, "value", std::to_string(d2));
    }
    End(out, details);
    return out;
}

std::string SysexJson(std::span<const std::uint8_t> bytes, int block,
                      std::optional<std::int64_t> timeMs, std::string_view details) {
    std::string out;
    Begin(out, timeMs, "sysex");
    Field(out, "block", std::to_string(block));
    Field(out, "length", std::to_string(bytes.size()));
    Field(out, "bytes", JsonString(HexText(bytes)));
    End(out, details);
    return out;
}

std::string RatesJson(std::optional<std::int64_t> timeMs, std::string_view details) {
    std::string out;
    Begin(out, timeMs, "rates");
    End(out, details);
    return out;
}

} // namespace velmora
