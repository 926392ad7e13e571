#include "cli/decode_command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/cp1252.h"
#include "core/explicit_text.h"
#include "core/hex_message_parser.h"
#include "core/message_details.h"

namespace velmora::cli {
namespace {

constexpr const char* kDecodeHelp =
    "Usage: velmora-cli decode [--details] [BYTE [BYTE [BYTE]]]\n"
    "\n"
    "Describes MIDI short messages as Velmora's events history shows them:\n"
    "the bytes in hexadecimal, the kind of message, its note or controller,\n"
    "its value and its channel, in fixed-width columns.\n"
    "\n"
    "With bytes on the command line, decodes that one message:\n"
    "  velmora-cli decode 90 3C 64\n"
    "Without, reads standard input: one message per line, 1 to 3 hexadecimal\n"
    "bytes separated by blanks; missing data bytes are 0.\n"
    "  printf '90 3C 64\\nB0 07 7F\\n' | velmora-cli decode\n"
    "\n"
    "With --details, each line also gets what the message means in its\n"
    "stream, after two blanks: pitch bend as a signed value, 14-bit controller\n"
    "pairs, RPN and NRPN values, time code assembled from quarter frames,\n"
    "song position in bars, channel mode messages, counts of clock and active\n"
    "sensing. Lines are read in order, so sequences assemble across lines. A\n"
    "whole sysex message (F0 ... F7) may stand on one line: it gets its bytes,\n"
    "its length and its manufacturer and kind.\n"
    "  printf 'B0 65 00\\nB0 64 00\\nB0 06 02\\n' | velmora-cli decode --details\n"
    "\n"
    "A bad line is reported on standard error with its line number and\n"
    "skipped; the others are still decoded. Lines may be up to 1 MiB long.\n"
    "Input holding a NUL byte is not text: decoding stops there.\n"
    "\n"
    "Exit status: 0 when every message was decoded, 2 when any was bad, 1 when\n"
    "standard input could not be read or standard output not written.\n";

constexpr std::size_t kMaxLine = std::size_t{1} << 20;
constexpr std::size_t kMaxSysexBytes = kMaxLine / 2;

// True when the first byte of the line is written F0: the line may hold a
// whole sysex message.
bool StartsWithF0(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\v\f");
    if (start == std::string_view::npos || text.size() - start < 2) {
        return false;
    }
    const std::string_view head = text.substr(start, 3);
    return (head[0] == 'F' || head[0] == 'f') && head[1] == '0' &&
           (head.size() == 2 || std::strchr(" \t\r\v\f", head[2]) != nullptr);
}

// A line of more than three bytes, or ending with F7, is a sysex message:
// appends its line, or sets `error`, and returns true. Returns false for a
// short message (or a line that is no message at all).
bool AppendIfSysex(std::string_view text, std::string& out, std::string& error,
                   MessageDetails& details) {
    const ParsedBytes parsed = ParseHexBytes(text, kMaxSysexBytes);
    if (!parsed.ok || (parsed.bytes.size() <= 3 && parsed.bytes.back() != 0xF7)) {
        return false;
    }
    const auto& bytes = parsed.bytes;
    if (bytes.back() != 0xF7) {
        error = "a sysex message on one line must end with F7";
        return true;
    }
    const auto inside =
        std::find_if(bytes.begin() + 1, bytes.end() - 1, [](std::uint8_t b) { return b > 0x7F; });
    if (inside != bytes.end() - 1) {
        char why[64];
        std::snprintf(why, sizeof why, "status byte %02X inside a sysex message", *inside);
        error = why;
        return true;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        out += i + 1 < bytes.size() ? ' ' : '\n';
    }
    out.pop_back();
    out += "    Sysex (" + std::to_string(bytes.size()) + " bytes)  " + details.Sysex(bytes) + '\n';
    return true;
}

// Appends the line for `text` to `out`, or returns false with `error` set.
// With `details`, the line gets the details of the message in its stream.
bool AppendDecoded(std::string_view text, std::string& out, std::string& error,
                   MessageDetails* details) {
    if (details && StartsWithF0(text) && AppendIfSysex(text, out, error, *details)) {
        return error.empty();
    }
    const ParsedMessage parsed = ParseHexMessage(text);
    if (!parsed.ok) {
        error = parsed.error;
        return false;
    }
    std::string line = DescribeShortMessage(parsed.message).historyLine;
    line.resize(line.size() - 2); // CR LF
    out += Cp1252ToUtf8(line);
    if (details) {
        const std::string more = details->Short(parsed.message);
        if (!more.empty()) {
            out += "  ";
            out += more;
        }
    }
    out += '\n';
    return true;
}

class LineDecoder {
  public:
    LineDecoder(std::FILE* out, std::FILE* err, MessageDetails* details)
        : out_(out), err_(err), details_(details) {
        buffer_.reserve(kFlush);
    }

    void Line(std::string_view text) {
        ++lineNumber_;
        std::string error;
        if (!AppendDecoded(text, buffer_, error, details_)) {
            Bad(error);
        }
        if (buffer_.size() >= kFlush) {
            Flush();
        }
    }
    // A line cut at the length limit: `start` is its beginning.
    void TooLong(std::string_view start) {
        ++lineNumber_;
        Bad("longer than " + std::to_string(kMaxLine) + " characters: " + QuoteStart(start));
    }
    void Binary() {
        ++lineNumber_;
        Bad("a NUL byte: the input is not text, decoding stops");
    }
    // Writes what is left; false (with the reason on `err`) when writing failed.
    bool Finish() {
        Flush();
        return !WriteFailed();
    }
    bool WriteFailed() const { return writeError_ != 0; }
    bool AnyBad() const { return bad_; }

  private:
    static constexpr std::size_t kFlush = 1 << 16;

    void Bad(const std::string& error) {
        Flush(); // keep the order of good and bad lines on a shared terminal
        std::fprintf(err_, "velmora-cli decode: line %zu: %s\n", lineNumber_, error.c_str());
        bad_ = true;
    }
    void Flush() {
        if (WriteFailed()) {
            return;
        }
        if ((!buffer_.empty() &&
             std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) ||
            std::fflush(out_) != 0) {
            writeError_ = errno != 0 ? errno : EIO;
            std::fprintf(err_, "velmora-cli decode: cannot write standard output: %s\n",
                         std::strerror(writeError_));
        }
        buffer_.clear();
    }

    std::FILE* out_;
    std::FILE* err_;
    MessageDetails* details_;
    std::string buffer_;
    std::size_t lineNumber_ = 0;
    bool bad_ = false;
    int writeError_ = 0;
};

// Reads `in` in chunks and hands each line to `decoder`, cutting lines at
// kMaxLine; returns the read error, or 0.
int ReadLines(std::FILE* in, LineDecoder& decoder) {
    std::vector<char> chunk(1 << 16);
    std::string pending;
    bool tooLong = false;
    std::size_t got = 0;
    while (!decoder.WriteFailed() && (got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        std::string_view data(chunk.data(), got);
        const std::size_t nul = data.find('\0');
        const bool binary = nul != std::string_view::npos;
        if (binary) {
            data = data.substr(0, nul);
        }
        std::size_t nl;
        while ((nl = data.find('\n')) != std::string_view::npos) {
            const std::string_view piece = data.substr(0, nl);
            if (tooLong) {
                decoder.TooLong(pending);
            } else if (pending.size() + piece.size() > kMaxLine) {
                pending.append(piece.substr(0, 64));
                decoder.TooLong(pending);
            } else if (pending.empty()) {
                decoder.Line(piece);
            } else {
                pending.append(piece);
                decoder.Line(pending);
            }
            pending.clear();
            tooLong = false;
            data.remove_prefix(nl + 1);
        }
        if (!tooLong && pending.size() + data.size() > kMaxLine) {
            tooLong = true; // keep only the start, for the message
            pending.append(data.substr(0, 64 - std::min<std::size_t>(pending.size(), 64)));
        } else if (!tooLong) {
            pending.append(data);
        }
        if (binary) {
            decoder.Binary();
            return 0;
        }
    }
    if (std::ferror(in)) {
        return errno != 0 ? errno : EIO;
    }
    if (tooLong) {
        decoder.TooLong(pending);
    } else if (!pending.empty()) {
        decoder.Line(pending); // a last line without its newline
    }
    return 0;
}

} // namespace

std::string DecodeLineUtf8(std::string_view hexText, std::string* error) {
    std::string out, why;
    if (!AppendDecoded(hexText, out, why, nullptr)) {
        if (error) {
            *error = why;
        }
        return {};
    }
    out.pop_back();
    return out;
}

int RunDecode(std::span<const std::string_view> args, std::FILE* in, std::FILE* out,
              std::FILE* err) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kDecodeHelp, out);
        return 0;
    }
    std::vector<std::string_view> bytes;
    bool withDetails = false;
    for (const auto a : args) {
        if (a == "--details") {
            withDetails = true;
        } else {
            bytes.push_back(a);
        }
    }
    MessageDetails details;
    MessageDetails* detailsOrNull = withDetails ? &details : nullptr;
    if (!bytes.empty()) {
        std::string joined;
        for (const auto a : bytes) {
            joined += a;
            joined += ' ';
        }
        std::string line, error;
        if (!AppendDecoded(joined, line, error, detailsOrNull)) {
            std::fprintf(err, "velmora-cli decode: %s\n", error.c_str());
            return 2;
        }
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size() || std::fflush(out) != 0) {
            std::fprintf(err, "velmora-cli decode: cannot write standard output: %s\n",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    }

    LineDecoder decoder(out, err, detailsOrNull);
    errno = 0;
    const int readError = ReadLines(in, decoder);
    if (!decoder.Finish()) {
        return 1;
    }
    if (readError != 0) {
        std::fprintf(err, "velmora-cli decode: cannot read standard input: %s\n",
                     std::strerror(readError));
        return 1;
    }
    return decoder.AnyBad() ? 2 : 0;
}

} // namespace velmora::cli
