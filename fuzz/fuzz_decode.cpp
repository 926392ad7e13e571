// Feeds arbitrary text to the message parsers and every message they accept,
// and arbitrary 32-bit values, to the analysis and the history; and the text
// to the terminal and JSON escaping; and the text, and its bytes, as a request.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/analysis.h"
#include "core/events_history.h"
#include "core/hex_message_parser.h"
#include "core/json_text.h"
#include "core/message_json.h"
#include "core/sysex_request.h"
#include "core/terminal_text.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    const AnalysisPreferences prefs{(data[0] & 1) != 0, (data[0] & 2) != 0, (data[0] & 4) != 0};
    const ShortMessage raw = std::uint32_t{data[1]} | std::uint32_t{data[2]} << 8 |
                             std::uint32_t{data[3]} << 16 | std::uint32_t{data[4]} << 24;
    const std::string_view text(reinterpret_cast<const char*>(data + 5), size - 5);

    EventsHistory history;
    for (const ShortMessage m : {raw, ParseHexMessage(text).message}) {
        const auto r = AnalyseShortMessage(m, prefs);
        if (r.showFields) {
            if (r.explicitText.historyLine.size() != 67) {
                std::abort();
            }
            history.Append(r.explicitText.historyLine);
        }
    }
    const auto parsed = ParseHexMessage(text);
    if (parsed.ok == !parsed.error.empty() || (parsed.message >> 24) != 0) {
        std::abort();
    }
    // A message line to send: a whole message, or nothing with a reason.
    const ParsedBytes line = ParseMessageLine(text, 64);
    if (line.ok == !line.error.empty() || line.bytes.size() > 64 ||
        (!line.bytes.empty() && line.bytes[0] < 0x80) ||
        (!line.bytes.empty() && line.bytes[0] != 0xF0 &&
         line.bytes.size() != static_cast<std::size_t>(ShortMessageBytes(line.bytes[0])))) {
        std::abort();
    }
    if (!line.bytes.empty() && line.bytes[0] != 0xF0) {
        (void)ShortMessageJson(line.bytes, 0, text);
    }
    // A request is whole sysex messages, or nothing with a reason.
    for (const Request& request :
         {RequestFromHex(text), RequestFromBytes({data + 5, data + size})}) {
        if (request.ok == !request.error.empty() || request.ok != !request.bytes.empty() ||
            (request.ok && (request.bytes.front() != 0xF0 || request.bytes.back() != 0xF7))) {
            std::abort();
        }
    }
    // Nothing that reaches a terminal holds a control byte.
    for (const std::string& safe : {TerminalSafe(text), JsonString(text)}) {
        for (const char c : safe) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                std::abort();
            }
        }
    }
    return 0;
}
