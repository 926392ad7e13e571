#include "cli/monitor_printer.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "core/cp1252.h"
#include "core/explicit_text.h"
#include "core/hex_message_parser.h"
#include "core/json_text.h"
#include "core/message_json.h"
#include "core/sysex_text.h"
#include "core/terminal_text.h"

namespace velmora::cli {

void MonitorPrinter::SetSources(std::vector<std::string> names) {
    const std::size_t count = std::max<std::size_t>(names.size(), 1);
    sources_ = names.size() > 1 ? std::move(names) : std::vector<std::string>();
    details_.assign(count, LiveDetails());
    blockCounts_.assign(count, 0);
}

std::string MonitorPrinter::Label() const {
    return sources_.empty() ? std::string() : TerminalSafe(sources_[source_]) + "  ";
}

std::string MonitorPrinter::WithSource(std::string json) const {
    if (!sources_.empty() && json.starts_with('{')) {
        json.insert(1, "\"source\":" + JsonString(sources_[source_]) + ",");
    }
    return json;
}

void MonitorPrinter::Print(std::size_t source, const midi::Handed& handed) {
    std::lock_guard lock(lock_);
    if (source >= details_.size()) {
        return;
    }
    source_ = source;
    const std::int32_t ms = midi_->ElapsedMs();
    switch (handed.kind) {
    case midi::HandedKind::Sysex:
        Sysex(SysexHexText(handed.sysex), ms);
        break;
    case midi::HandedKind::Short:
        Short(handed.message, ms);
        break;
    case midi::HandedKind::Clock:
        Short(kTimingClock, ms);
        break;
    }
}

std::string MonitorPrinter::Column(std::int32_t ms) {
    const std::optional<std::int64_t> time = JsonTime(ms);
    if (!time) {
        return {};
    }
    char column[32];
    std::snprintf(column, sizeof column, "%9lld  ", static_cast<long long>(*time));
    return column;
}

std::optional<std::int64_t> MonitorPrinter::JsonTime(std::int32_t ms) {
    switch (format_.time) {
    case TimeColumn::Absolute:
        return ms;
    case TimeColumn::Delta: {
        const std::int32_t since = ms - lastMs_;
        lastMs_ = ms;
        return since;
    }
    case TimeColumn::None:
        break;
    }
    return std::nullopt;
}

std::string MonitorPrinter::Details(const std::string& appended) const {
    return appended.starts_with("  ") ? appended.substr(2) : appended;
}

void MonitorPrinter::Short(ShortMessage message, std::int32_t ms) {
    const std::uint8_t status = StatusOf(message);
    // Every message feeds the details, shown or not: sequences assemble.
    std::string more;
    if (format_.details) {
        if (message == kTimingClock) {
            details_[source_].Clock(ms);
        } else {
            more = details_[source_].Short(message, ms);
        }
    }
    if (!format_.filter.Shows(status)) {
        return;
    }
    const std::array<std::uint8_t, 3> all{status, Data1Of(message), Data2Of(message)};
    const std::span<const std::uint8_t> bytes(all.data(),
                                              static_cast<std::size_t>(ShortMessageBytes(status)));
    switch (format_.output) {
    case MonitorOutput::Json:
        std::fprintf(out_, "%s\n",
                     WithSource(ShortMessageJson(bytes, JsonTime(ms), Details(more))).c_str());
        return;
    case MonitorOutput::Raw:
        std::fprintf(out_, "%s%s%s\n", Column(ms).c_str(), Label().c_str(), HexText(bytes).c_str());
        return;
    case MonitorOutput::Text:
        break;
    }
    // The history line as the monitor gives it (the rows it also fills are
    // not printed); clock and active sensing, which light no line of their
    // own there, are described as well when asked for. Written into one
    // buffer kept from line to line, and out in one piece.
    const std::string history = DescribeShortMessage(message).historyLine;
    line_.clear();
    AppendColumn(ms);
    if (!sources_.empty()) {
        line_ += Label();
    }
    AppendCp1252AsUtf8(line_, std::string_view(history).substr(0, history.size() - 2));
    line_ += more;
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), out_);
}

void MonitorPrinter::AppendColumn(std::int32_t ms) {
    const std::optional<std::int64_t> time = JsonTime(ms);
    if (!time) {
        return;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, *time).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    line_.append(length < 9 ? 9 - length : 0, ' '); // "%9lld  "
    line_.append(digits, length);
    line_ += "  ";
}

void MonitorPrinter::Sysex(const std::string& hex, std::int32_t ms) {
    const int block = ++blockCounts_[source_];
    const std::string more = format_.details ? details_[source_].SysexBlock(hex) : std::string();
    if (!format_.filter.Shows(0xF0)) {
        return;
    }
    if (format_.output == MonitorOutput::Text) {
        std::fprintf(out_, "%s%s%s\n%s\n", Label().c_str(),
                     SysexBlockHeader(block, hex.size() / 3).c_str(), more.c_str(), hex.c_str());
        return;
    }
    const std::vector<std::uint8_t> bytes = ParseHexBytes(hex, hex.size()).bytes;
    if (format_.output == MonitorOutput::Raw) {
        std::fprintf(out_, "%s%s%s\n", Column(ms).c_str(), Label().c_str(), HexText(bytes).c_str());
    } else {
        std::fprintf(out_, "%s\n",
                     WithSource(SysexJson(bytes, block, JsonTime(ms), Details(more))).c_str());
    }
}

void MonitorPrinter::PrintRates() {
    if (!format_.details) {
        return;
    }
    std::lock_guard lock(lock_);
    const std::int32_t ms = midi_->ElapsedMs();
    for (source_ = 0; source_ < details_.size(); ++source_) {
        if (const auto line = details_[source_].RatesLine(ms)) {
            if (format_.output == MonitorOutput::Json) {
                std::fprintf(out_, "%s\n", WithSource(RatesJson(JsonTime(ms), *line)).c_str());
            } else {
                std::fprintf(out_, "%s%s%s\n", Column(ms).c_str(), Label().c_str(), line->c_str());
            }
        }
    }
}

} // namespace velmora::cli
