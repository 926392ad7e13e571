#include "core/ini_value_text.h"

#include <optional>

#include "core/text_tools.h"

namespace velmora {

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// The body of a quoted text, unescaped; nothing when it is not one that
// EscapeIniValue writes.
std::optional<std::string> Unquote(std::string_view body) {
    std::string value;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '"') {
            return std::nullopt; // a bare quote inside
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i == body.size()) {
            return std::nullopt;
        }
        switch (body[i]) {
        case '\\':
        case '"':
            value += body[i];
            break;
        case 'r':
            value += '\r';
            break;
        case 'n':
            value += '\n';
            break;
        case 't':
            value += '\t';
            break;
        case 'x': {
            const int high = i + 1 < body.size() ? HexDigitValue(body[i + 1]) : -1;
            const int low = i + 2 < body.size() ? HexDigitValue(body[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            value += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return value;
}

} // namespace

std::string EscapeIniValue(std::string_view value) {
    bool plain = !value.starts_with('"');
    for (const char c : value) {
        plain = plain && !IsControl(static_cast<unsigned char>(c));
    }
    if (plain) {
        return std::string(value);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            text += "\\\\";
            break;
        case '"':
            text += "\\\"";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (IsControl(byte)) {
                text += "\\x";
                text += kHex[byte >> 4];
                text += kHex[byte & 0xF];
            } else {
                text += c;
            }
        }
    }
    text += '"';
    return text;
}

std::string UnescapeIniValue(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        if (std::optional<std::string> value = Unquote(text.substr(1, text.size() - 2))) {
            return *std::move(value);
        }
    }
    return std::string(text);
}

} // namespace velmora
