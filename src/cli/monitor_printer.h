// What `velmora-cli monitor` prints of each message that arrives: the
// events-history text, the raw bytes or one JSON object per line, behind a
// time column, for the kinds and channels asked for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/live_details.h"
#include "core/analysis.h"
#include "core/message_filter.h"
#include "midi/hand_off.h"
#include "midi/midi_functions.h"

namespace velmora::cli {

enum class TimeColumn { Absolute, Delta, None };
enum class MonitorOutput { Text, Raw, Json };

struct MonitorFormat {
    TimeColumn time = TimeColumn::Absolute;
    MonitorOutput output = MonitorOutput::Text;
    MessageFilter filter;
    bool details = false;
};

// Prints on the inputs' delivery threads (the hand-off runs it there): a sysex
// block, a short message or a timing clock (handed only when WantsClock).
// PrintRates runs on the main thread; a lock keeps them all apart.
//
// With several inputs every line names its source after the time column
// (JSON: a "source" member), and each source has its own block count and
// details; with one, nothing is added.
class MonitorPrinter : public midi::UiSignalReceiver {
  public:
    MonitorPrinter(const MonitorFormat& format, std::FILE* out) : format_(format), out_(out) {}
    void Attach(midi::MidiFunctions& midi) { midi_ = &midi; }
    // The names of the inputs, source 0 first; before anything is printed.
    void SetSources(std::vector<std::string> names);
    bool WantsClock() const { return format_.details || (format_.filter.kinds & kKindClock) != 0; }

    // From the first input.
    void HandleSignal(const midi::Handed& handed) override { Print(0, handed); }
    void Print(std::size_t source, const midi::Handed& handed);
    // The clock and active sensing rates, with --details, when they change.
    void PrintRates();

  private:
    void Short(ShortMessage message, std::int32_t ms);
    void Sysex(const std::string& hex, std::int32_t ms);
    // "NAME  " of the source printing now, or "" for one input.
    std::string Label() const;
    std::string WithSource(std::string json) const;
    // The time column ("%9d  ") or "", and the time for JSON; moves the delta on.
    std::string Column(std::int32_t ms);
    // The same, appended to line_.
    void AppendColumn(std::int32_t ms);
    std::optional<std::int64_t> JsonTime(std::int32_t ms);
    std::string Details(const std::string& appended) const;

    std::mutex lock_; // HandleSignal against PrintRates
    MonitorFormat format_;
    std::FILE* out_;
    midi::MidiFunctions* midi_ = nullptr;
    std::vector<std::string> sources_;
    std::size_t source_ = 0; // of the message being printed
    std::vector<LiveDetails> details_ = std::vector<LiveDetails>(1);
    std::vector<int> blockCounts_ = std::vector<int>(1, 0);
    std::int32_t lastMs_ = 0;
    std::string line_; // the line being written, its room kept
};

} // namespace velmora::cli
