#include "core/scrollback.h"

#include <cstdio>

#include "core/source_column.h"

namespace velmora {

std::optional<ScrollbackEntry> Scrollback::Append(std::int32_t arrivalMs, ShortMessage message,
                                                  std::string line, std::string details,
                                                  std::string source) {
    std::optional<ScrollbackEntry> dropped;
    if (capacity_ == 0) {
        return dropped;
    }
    if (entries_.size() >= capacity_) {
        dropped = std::move(entries_.front());
        entries_.pop_front();
    }
    entries_.push_back(
        {next_++, arrivalMs, message, std::move(line), std::move(details), std::move(source)});
    return dropped;
}

std::size_t Scrollback::HiddenCount(const MessageFilter& filter) const {
    std::size_t hidden = 0;
    for (const auto& e : entries_) {
        hidden += filter.Shows(StatusOf(e.message)) ? 0 : 1;
    }
    return hidden;
}

std::string TimeText(TimeColumn column, std::int32_t arrivalMs,
                     std::optional<std::int32_t> previousMs, std::int64_t startTimeOfDayMs) {
    char text[32] = "";
    switch (column) {
    case TimeColumn::Off:
        break;
    case TimeColumn::SinceStart:
        std::snprintf(text, sizeof text, "%10d ms", arrivalMs);
        break;
    case TimeColumn::Delta: {
        const std::int64_t delta = previousMs ? std::int64_t{arrivalMs} - *previousMs : 0;
        std::snprintf(text, sizeof text, "+%9lld ms", static_cast<long long>(delta));
        break;
    }
    case TimeColumn::TimeOfDay: {
        constexpr std::int64_t kDay = 24LL * 60 * 60 * 1000;
        std::int64_t t = (startTimeOfDayMs + arrivalMs) % kDay;
        if (t < 0) {
            t += kDay;
        }
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld",
                      static_cast<long long>(t / 3600000), static_cast<long long>(t / 60000 % 60),
                      static_cast<long long>(t / 1000 % 60), static_cast<long long>(t % 1000));
        break;
    }
    }
    return text;
}

std::vector<std::string> ShownLines(const Scrollback& scrollback, const MessageFilter& filter,
                                    TimeColumn column, std::int64_t startTimeOfDayMs,
                                    bool withDetails, bool withSource) {
    std::vector<std::string> lines;
    std::optional<std::int32_t> previous;
    for (const auto& e : scrollback.Entries()) {
        if (!filter.Shows(StatusOf(e.message))) {
            continue;
        }
        lines.push_back(
            BoxLine(TimeText(column, e.arrivalMs, previous, startTimeOfDayMs), e, withSource));
        if (withDetails) {
            AddDetailsColumn(lines.back(), e.details);
        }
        previous = e.arrivalMs;
    }
    return lines;
}

std::string BoxLine(const std::string& timeText, const ScrollbackEntry& entry, bool withSource) {
    if (timeText.empty() && !withSource) {
        return entry.line;
    }
    std::string line = timeText.empty() ? std::string() : timeText + "  ";
    if (withSource) {
        line += SourceCell(entry.source) + "  ";
    }
    return line + entry.line;
}

void AddDetailsColumn(std::string& line, std::string_view details) {
    if (!details.empty()) {
        line.append("  ").append(details);
    }
}

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool LineHolds(std::string_view line, std::string_view query) {
    if (query.size() > line.size()) {
        return false;
    }
    for (std::size_t at = 0; at + query.size() <= line.size(); ++at) {
        std::size_t i = 0;
        while (i < query.size() && Lower(line[at + i]) == Lower(query[i])) {
            ++i;
        }
        if (i == query.size()) {
            return true;
        }
    }
    return false;
}

namespace {

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

} // namespace

std::optional<std::size_t> FindLine(std::span<const std::string> lines, std::string_view query,
                                    std::optional<std::size_t> from, bool forward) {
    const std::size_t n = lines.size();
    if (query.empty() || n == 0) {
        return std::nullopt;
    }
    std::size_t at = from ? *from % n : (forward ? n - 1 : 0);
    for (std::size_t step = 0; step < n; ++step) {
        at = forward ? (at + 1) % n : (at + n - 1) % n;
        if (LineHolds(lines[at], query)) {
            return at;
        }
    }
    return std::nullopt;
}

std::string ScrollbackCsv(const Scrollback& scrollback, const MessageFilter& filter,
                          bool withSource) {
    std::string csv = withSource ? "Time (ms),Bytes,Kind,Channel,Message,Details,Source\r\n"
                                 : "Time (ms),Bytes,Kind,Channel,Message,Details\r\n";
    for (const auto& e : scrollback.Entries()) {
        const std::uint8_t status = StatusOf(e.message);
        if (!filter.Shows(status)) {
            continue;
        }
        char bytes[16] = "";
        const int count = ShortMessageBytes(status);
        if (count == 3) {
            std::snprintf(bytes, sizeof bytes, "%02X %02X %02X", status, Data1Of(e.message),
                          Data2Of(e.message));
        } else if (count == 2) {
            std::snprintf(bytes, sizeof bytes, "%02X %02X", status, Data1Of(e.message));
        } else {
            std::snprintf(bytes, sizeof bytes, "%02X", status);
        }
        const std::string channel =
            status >= 0x80 && status < 0xF0 ? std::to_string((status & 0x0F) + 1) : std::string();
        // The line keeps its own spacing but not the padding at its end.
        std::string_view line = e.line;
        while (!line.empty() && line.back() == ' ') {
            line.remove_suffix(1);
        }
        csv += std::to_string(e.arrivalMs) + ',' + bytes + ',' +
               CsvField(KindLabel(KindOfStatus(status))) + ',' + channel + ',' + CsvField(line) +
               ',' + CsvField(e.details) + (withSource ? ',' + CsvField(e.source) : "") + "\r\n";
    }
    return csv;
}

} // namespace velmora
