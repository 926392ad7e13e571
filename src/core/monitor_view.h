// What the data monitor's history box shows, kept apart from the window: the
// scrollback, the filters and the time column, pause, and whether the box
// follows the newest line or holds where the user scrolled to, with the
// count of lines that arrived below meanwhile. The window turns its events
// into calls here and makes its box say what the returned steps say.
//
// The box holds the newest lines that fit it, and never fewer than the
// history text's 26. Once the user scrolls back (or asks to keep the long
// history) it holds every shown line of the scrollback, which keeps at most
// Scrollback::kDefaultCapacity (100,000) lines: the memory the view may use
// is bounded by that count, not by how long the window stays open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/history_filter.h"
#include "core/scrollback.h"

namespace velmora {

// One arrival's change to the box.
struct HistoryStep {
    bool shown = false;        // the filter lets the message through
    bool toBox = false;        // a line joins the box now (shown and not paused)
    std::string boxLine;       // that line, with the time column
    std::size_t dropLines = 0; // lines to take from the top of the box
};

class MonitorView {
  public:
    // The history text's 26 lines of 67 characters below its 1800.
    static constexpr std::size_t kShortLines = 26;

    explicit MonitorView(std::size_t capacity = Scrollback::kDefaultCapacity)
        : scrollback_(capacity) {}

    // ---- Arrivals: called for every message, in order.
    // `source`: the input it came from (kept, shown with SetSources).
    HistoryStep Add(std::int32_t nowMs, ShortMessage message, std::string line,
                    std::string details = {}, std::string source = {});
    // A sysex block arrived (counted while paused).
    void AddBlock() { pausedArrivals_ += paused_ ? 1 : 0; }
    void Clear();

    // ---- The box's lines when it is made afresh (after a change of filter,
    // time column, follow or hold, pause): the shown lines it holds.
    std::vector<std::string> BoxLines(bool withDetails);
    std::size_t BoxLineCount() const { return boxLines_; }
    // How many lines the box holds while it follows: those that fit, at
    // least kShortLines, all with the long history.
    std::size_t FollowLimit() const;
    bool BoxHoldsAll() const { return longHistory_ || !following_; }
    // The rows the box has room for; true when the box must be made afresh.
    bool SetFitRows(std::size_t rows);

    // ---- Follow or hold. Hold and Follow return true when the box must be
    // made afresh (it holds the whole scrollback while held).
    bool Following() const { return following_; }
    bool Hold();
    bool Follow();
    std::uint64_t NewBelow() const { return newBelow_; }
    // "N new below, End to follow" while held, "" otherwise.
    std::string HoldMark() const;

    // ---- Options.
    bool SetFilter(const MessageFilter& filter); // true when sysex came back into view
    const MessageFilter& Filter() const { return filter_; }
    void SetTimeColumn(TimeColumn column) { column_ = column; }
    TimeColumn Column() const { return column_; }
    void SetLongHistory(bool on) { longHistory_ = on; }
    // The source column, while more than one input is open; the box is then
    // made afresh.
    void SetSources(bool on) { sources_ = on; }
    bool Sources() const { return sources_; }
    bool LongHistory() const { return longHistory_; }
    void SetStartTimeOfDay(std::int64_t ms) { startTimeOfDayMs_ = ms; }
    std::int64_t StartTimeOfDay() const { return startTimeOfDayMs_; }

    // ---- Pause: the box stands still; arrivals are kept and counted.
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    std::uint64_t PausedArrivals() const { return pausedArrivals_; }

    // ---- Counters and contents.
    std::size_t Hidden() const { return hiddenLines_; }
    std::uint64_t Total() const { return total_; }
    const Scrollback& scrollback() const { return scrollback_; }

  private:
    Scrollback scrollback_;
    MessageFilter filter_ = kShowEverything;
    TimeColumn column_ = TimeColumn::Off;
    bool longHistory_ = false;
    bool sources_ = false;
    std::int64_t startTimeOfDayMs_ = 0;
    std::size_t fitRows_ = 0;
    std::size_t boxLines_ = 0;
    std::size_t hiddenLines_ = 0;
    std::optional<std::int32_t> lastShownMs_;
    bool following_ = true;
    std::uint64_t newBelow_ = 0;
    bool paused_ = false;
    std::uint64_t pausedArrivals_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace velmora
