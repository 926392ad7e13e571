// Feeds arbitrary messages, lines, filters and queries to the events
// history's scrollback and checks what is shown, found and saved: the
// scrollback never exceeds its capacity, the shown lines are exactly the
// entries the filter lets through, a found line holds the query, the CSV starts
// with its header, and a stored filter reads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/scrollback.h"

using namespace velmora;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) {
        return 0;
    }
    MessageFilter filter{(data[0] | std::uint32_t{data[1]} << 8) & kAllKinds,
                         static_cast<std::uint16_t>(data[2] | data[3] << 8)};
    const std::string kinds = HiddenKindsText(filter);
    const std::string channels = HiddenChannelsText(filter);
    const auto back = HistoryFilterFrom(kinds, channels);
    Check(back && back->kinds == filter.kinds && back->channels == filter.channels);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    HistoryFilterFrom(text, text.substr(size / 2));

    const auto column = static_cast<TimeColumn>(data[4] % 4);
    const std::size_t capacity = 1 + data[5] % 64;
    const std::string query(reinterpret_cast<const char*>(data + 6), data[6] % 3);
    Scrollback sb(capacity);
    std::int32_t ms = 0;
    for (std::size_t i = 8; i + 4 <= size; i += 4) {
        ms += data[i + 3];
        const ShortMessage m = PackShortMessage(data[i], data[i + 1], data[i + 2]);
        std::string line(reinterpret_cast<const char*>(data + i), 4);
        sb.Append(ms, m, line);
        Check(sb.Entries().size() <= capacity);
    }
    const auto lines = ShownLines(sb, filter, column, data[7] * 1000000LL);
    Check(lines.size() + sb.HiddenCount(filter) == sb.Entries().size());
    Check(
        ScrollbackCsv(sb, filter).starts_with("Time (ms),Bytes,Kind,Channel,Message,Details\r\n"));
    if (const auto at = FindLine(lines, query, std::nullopt, data[3] & 1)) {
        Check(*at < lines.size() && LineHolds(lines[*at], query));
    }
    return 0;
}
