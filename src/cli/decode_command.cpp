#include "cli/decode_command.h"

#include <vector>

#include "core/cp1252.h"
#include "core/explicit_text.h"
#include "core/hex_message_parser.h"

namespace velmora::cli {
namespace {

constexpr const char* kDecodeHelp =
    "Usage: velmora-cli decode [BYTE [BYTE [BYTE]]]\n"
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
    "A bad line is reported on standard error with its line number and\n"
    "skipped; the others are still decoded.\n"
    "\n"
    "Exit status: 0 when every message was decoded, 2 when any was bad.\n";

// Appends the line for `text` to `out`, or returns false with `error` set.
bool AppendDecoded(std::string_view text, std::string& out, std::string& error) {
    const ParsedMessage parsed = ParseHexMessage(text);
    if (!parsed.ok) {
        error = parsed.error;
        return false;
    }
    std::string line = DescribeShortMessage(parsed.message).historyLine;
    line.resize(line.size() - 2); // CR LF
    out += Cp1252ToUtf8(line);
    out += '\n';
    return true;
}

class LineDecoder {
  public:
    LineDecoder(std::FILE* out, std::FILE* err) : out_(out), err_(err) { buffer_.reserve(kFlush); }
    ~LineDecoder() { Flush(); }

    void Line(std::string_view text) {
        ++lineNumber_;
        std::string error;
        if (!AppendDecoded(text, buffer_, error)) {
            Flush(); // keep the order of good and bad lines on a shared terminal
            std::fprintf(err_, "velmora-cli decode: line %zu: %s\n", lineNumber_, error.c_str());
            bad_ = true;
        }
        if (buffer_.size() >= kFlush) {
            Flush();
        }
    }
    bool AnyBad() const { return bad_; }

  private:
    static constexpr std::size_t kFlush = 1 << 16;
    void Flush() {
        if (!buffer_.empty()) {
            std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
            buffer_.clear();
        }
        std::fflush(out_);
    }

    std::FILE* out_;
    std::FILE* err_;
    std::string buffer_;
    std::size_t lineNumber_ = 0;
    bool bad_ = false;
};

} // namespace

std::string DecodeLineUtf8(std::string_view hexText, std::string* error) {
    std::string out, why;
    if (!AppendDecoded(hexText, out, why)) {
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
    if (!args.empty()) {
        std::string joined;
        for (const auto a : args) {
            joined += a;
            joined += ' ';
        }
        std::string line, error;
        if (!AppendDecoded(joined, line, error)) {
            std::fprintf(err, "velmora-cli decode: %s\n", error.c_str());
            return 2;
        }
        std::fwrite(line.data(), 1, line.size(), out);
        return 0;
    }

    LineDecoder decoder(out, err);
    std::vector<char> chunk(1 << 16);
    std::string pending;
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        std::string_view data(chunk.data(), got);
        std::size_t nl;
        while ((nl = data.find('\n')) != std::string_view::npos) {
            if (pending.empty()) {
                decoder.Line(data.substr(0, nl));
            } else {
                pending.append(data.substr(0, nl));
                decoder.Line(pending);
                pending.clear();
            }
            data.remove_prefix(nl + 1);
        }
        pending.append(data);
    }
    if (!pending.empty()) {
        decoder.Line(pending); // a last line without its newline
    }
    return decoder.AnyBad() ? 2 : 0;
}

} // namespace velmora::cli
