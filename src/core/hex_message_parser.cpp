#include "core/hex_message_parser.h"

#include <array>
#include <cstdio>

#include "core/text_tools.h"

namespace velmora {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

ParsedMessage Fail(std::string why) {
    return {false, 0, std::move(why)};
}

// Walks the blank-separated tokens of a line and reads each as a byte.
class TokenReader {
  public:
    explicit TokenReader(std::string_view text) : text_(text) {}

    // False at the end of the line, or with `error` set for a bad token.
    bool Next(unsigned& value, std::string& error) {
        while (i_ < text_.size() && IsBlank(text_[i_])) {
            ++i_;
        }
        if (i_ == text_.size()) {
            return false;
        }
        const std::size_t start = i_;
        while (i_ < text_.size() && !IsBlank(text_[i_])) {
            ++i_;
        }
        const std::string_view token = text_.substr(start, i_ - start);
        value = 0;
        for (const char c : token) {
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                error = QuoteStart(token) + " is not a hexadecimal byte";
                return false;
            }
            // Saturate: any value past FF is refused below, however long.
            value = value > 0xFFu ? value : value * 16 + static_cast<unsigned>(digit);
        }
        if (value > 0xFF) {
            error = QuoteStart(token) + " is above FF";
            return false;
        }
        return true;
    }

  private:
    std::string_view text_;
    std::size_t i_ = 0;
};

constexpr const char* kEmpty = "empty line, expected 1 to 3 hexadecimal bytes";

} // namespace

std::string QuoteStart(std::string_view text) {
    constexpr std::size_t kShown = 32;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kShown) {
        out += "...";
    }
    return out + "\"";
}

ParsedMessage ParseHexMessage(std::string_view text) {
    std::array<unsigned, 3> bytes{};
    std::size_t count = 0;
    TokenReader reader(text);
    unsigned value = 0;
    std::string error;
    while (reader.Next(value, error)) {
        if (count == bytes.size()) {
            return Fail("more than three bytes");
        }
        bytes[count++] = value;
    }
    if (!error.empty()) {
        return Fail(error);
    }
    if (count == 0) {
        return Fail(kEmpty);
    }
    // Only the first byte may be a status byte: a data byte of 80 or more
    // would be read as a value it cannot hold.
    for (std::size_t i = 1; i < count; ++i) {
        if (bytes[i] > 0x7F) {
            char why[64];
            std::snprintf(why, sizeof why, "data byte %02X is above 7F", bytes[i]);
            return Fail(why);
        }
    }
    return {true,
            PackShortMessage(static_cast<std::uint8_t>(bytes[0]),
                             static_cast<std::uint8_t>(bytes[1]),
                             static_cast<std::uint8_t>(bytes[2])),
            {}};
}

ParsedBytes ParseHexBytes(std::string_view text, std::size_t maxBytes) {
    ParsedBytes out;
    TokenReader reader(text);
    unsigned value = 0;
    while (reader.Next(value, out.error)) {
        if (out.bytes.size() == maxBytes) {
            out.error = "more than " + std::to_string(maxBytes) + " bytes";
            break;
        }
        out.bytes.push_back(static_cast<std::uint8_t>(value));
    }
    if (out.error.empty() && out.bytes.empty()) {
        out.error = "empty line, expected hexadecimal bytes";
    }
    out.ok = out.error.empty();
    if (!out.ok) {
        out.bytes.clear();
    }
    return out;
}

ParsedBytes ParseMessageLine(std::string_view text, std::size_t maxBytes) {
    ParsedBytes out;
    text = text.substr(0, text.find('#'));
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t blanksFrom = i;
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            break;
        }
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        const std::string_view token = text.substr(start, i - start);
        const int high = HexDigitValue(token[0]);
        const int low = token.size() == 2 ? HexDigitValue(token[1]) : (token.size() == 1 ? 0 : -1);
        if (high < 0 || low < 0) {
            if (!out.bytes.empty() && start - blanksFrom >= 2) {
                break; // a description after the bytes
            }
            out.error = QuoteStart(token) + " is not a hexadecimal byte";
            out.bytes.clear();
            return out;
        }
        if (out.bytes.size() == maxBytes) {
            out.error = "more than " + std::to_string(maxBytes) + " bytes";
            out.bytes.clear();
            return out;
        }
        out.bytes.push_back(static_cast<std::uint8_t>(token.size() == 2 ? high * 16 + low : high));
    }
    auto fail = [&](std::string why) {
        out.error = std::move(why);
        out.bytes.clear();
        return out;
    };
    if (out.bytes.empty()) {
        out.ok = true;
        return out;
    }
    char what[96];
    const std::uint8_t status = out.bytes[0];
    if (status < 0x80) {
        std::snprintf(what, sizeof what, "%02X is a data byte; a message starts with its status",
                      status);
        return fail(what);
    }
    if (status == 0xF0) {
        if (out.bytes.back() != 0xF7 || out.bytes.size() < 2) {
            return fail("a sysex message must end with F7");
        }
        for (std::size_t k = 1; k + 1 < out.bytes.size(); ++k) {
            if (out.bytes[k] > 0x7F) {
                std::snprintf(what, sizeof what, "status byte %02X inside a sysex message",
                              out.bytes[k]);
                return fail(what);
            }
        }
        out.ok = true;
        return out;
    }
    const auto length = static_cast<std::size_t>(ShortMessageBytes(status));
    if (out.bytes.size() < length) {
        std::snprintf(what, sizeof what, "%02X takes %zu bytes, %zu given", status, length,
                      out.bytes.size());
        return fail(what);
    }
    for (std::size_t k = 1; k < out.bytes.size(); ++k) {
        if (k >= length && out.bytes[k] != 0) {
            std::snprintf(what, sizeof what, "%02X takes %zu bytes, more given", status, length);
            return fail(what);
        }
        if (k < length && out.bytes[k] > 0x7F) {
            std::snprintf(what, sizeof what, "%02X needs data bytes 00 to 7F", status);
            return fail(what);
        }
    }
    out.bytes.resize(length);
    out.ok = true;
    return out;
}

} // namespace velmora

namespace velmora {

std::optional<std::int64_t> TakeTimeColumn(std::string_view& line) {
    std::size_t at = line.find_first_not_of(' ');
    if (at == line.npos) {
        return std::nullopt;
    }
    const std::size_t digits = line.find_first_not_of("0123456789", at);
    if (digits == line.npos || digits == at || digits - at > 12 ||
        line.compare(digits, 2, "  ") != 0) {
        return std::nullopt;
    }
    std::int64_t ms = 0;
    for (std::size_t i = at; i < digits; ++i) {
        ms = ms * 10 + (line[i] - '0');
    }
    line.remove_prefix(digits);
    return ms;
}

} // namespace velmora
