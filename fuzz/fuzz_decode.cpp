// Feeds arbitrary text to the message parser and every message it accepts,
// and arbitrary 32-bit values, to the analysis and the history.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/analysis.h"
#include "core/events_history.h"
#include "core/hex_message_parser.h"

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
    return 0;
}
