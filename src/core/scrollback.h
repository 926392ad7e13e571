// The events history's scrollback: the last lines the data monitor showed,
// up to a fixed count, each with its message and arrival time, kept apart
// from the short history text the analysis produces. What is shown of it
// (filtered, with an optional time column), found in it and saved from it
// is made here as plain text.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_filter.h"
#include "core/short_message.h"

namespace velmora {

struct ScrollbackEntry {
    std::uint64_t number = 0;   // counts every entry since the start
    std::int32_t arrivalMs = 0; // on the window's clock
    ShortMessage message = 0;
    std::string line;    // the history line, without its CR LF
    std::string details; // what the stream said beyond the line, "" for nothing
    std::string source;  // the input it came from, "" where only one is open
};

class Scrollback {
  public:
    static constexpr std::size_t kDefaultCapacity = 100000;

    explicit Scrollback(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    // Adds a line; gives back the oldest entry when it had to go.
    std::optional<ScrollbackEntry> Append(std::int32_t arrivalMs, ShortMessage message,
                                          std::string line, std::string details = {},
                                          std::string source = {});
    void Clear() { entries_.clear(); }

    const std::deque<ScrollbackEntry>& Entries() const { return entries_; }
    std::size_t Capacity() const { return capacity_; }
    // How many entries the filter hides.
    std::size_t HiddenCount(const MessageFilter& filter) const;

  private:
    std::size_t capacity_;
    std::uint64_t next_ = 0;
    std::deque<ScrollbackEntry> entries_;
};

enum class TimeColumn : std::uint8_t { Off, SinceStart, Delta, TimeOfDay };

// The time column's text for an entry ("" when off): milliseconds since the
// start, milliseconds since the previous shown entry, or the time of day
// ("HH:MM:SS.mmm") from the time of day at the clock's zero.
std::string TimeText(TimeColumn column, std::int32_t arrivalMs,
                     std::optional<std::int32_t> previousMs, std::int64_t startTimeOfDayMs);

// The lines shown for the entries the filter lets through, with the time
// column in front when it is on, then the source column when asked
// (source_column.h), and their details after them when asked.
std::vector<std::string> ShownLines(const Scrollback& scrollback, const MessageFilter& filter,
                                    TimeColumn column, std::int64_t startTimeOfDayMs,
                                    bool withDetails = false, bool withSource = false);

// A line as the box shows it: the time text (may be empty), the source cell
// when asked, then the entry's line.
std::string BoxLine(const std::string& timeText, const ScrollbackEntry& entry, bool withSource);

// The details column: `line` followed by two spaces and `details`, or
// `line` alone when there are no details.
void AddDetailsColumn(std::string& line, std::string_view details);

// Whether `line` holds `query`, ignoring the case of ASCII letters.
bool LineHolds(std::string_view line, std::string_view query);

// The next line, after (or before) `from`, that holds `query` (ignoring the
// case of ASCII letters), wrapping round; nothing when none does.
std::optional<std::size_t> FindLine(std::span<const std::string> lines, std::string_view query,
                                    std::optional<std::size_t> from, bool forward);

// The shown entries as CSV: a header row, then one row per entry with the
// milliseconds since the start, the bytes in hexadecimal, the kind, the
// channel (1-16, empty for system messages), the history line and what the
// stream said beyond it (empty for nothing), and with `withSource` the input
// it came from, in a last column. Rows end in CR LF; fields are quoted where
// needed.
std::string ScrollbackCsv(const Scrollback& scrollback, const MessageFilter& filter,
                          bool withSource = false);

} // namespace velmora
