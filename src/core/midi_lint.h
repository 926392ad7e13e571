// Faults in a MIDI stream that a user would otherwise dig out of a log: fed
// every message of one source with its time, the checker warns about notes
// left on when the source went quiet or closed, data entry without an RPN or
// NRPN selected, sysex cut short or never ended, a clock whose interval
// wanders, and active sensing that stops. Plain data, no clock of its own:
// the caller gives every time, so the checks run the same in tests.
//
// Faults that last (notes stuck, a clock wandering, sensing stopped) are
// told again when they end, with `ended` set: the notes were released, the
// clock kept a steady beat for a window of clocks, sensing came back. A
// one-off fault (a cut sysex, data entry without a parameter) has no end.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/note_tracker.h"

namespace velmora {

struct LintSettings {
    std::uint64_t quietMicros = 2'000'000;       // silence after which notes on are stuck
    std::uint64_t sysexEndMicros = 2'000'000;    // a sysex with no F7 after this never ends
    std::uint64_t activeSensingMicros = 300'000; // the standard's limit for sensing
    double clockWanderShare = 0.10;              // an interval this far off the mean
    int clockWindow = 24;                        // clocks in the mean (one quarter note)
};

enum class LintKind {
    StuckNotes,
    DataEntryWithoutParameter,
    SysexCut,
    SysexNeverEnded,
    ClockWanders,
    ActiveSensingStopped,
};

struct LintWarning {
    LintKind kind;
    std::string text;   // in English, one line, no trailing period
    bool ended = false; // the fault of this kind warned of before is over
    bool operator==(const LintWarning&) const = default;
};

// Whether a fault of `kind` can end (see above).
bool LintFaultLasts(LintKind kind);

class MidiLint {
  public:
    explicit MidiLint(LintSettings settings = {}) : settings_(settings) {}

    // One message at `micros`: a short message (1 to 3 bytes), or a block of
    // a sysex message (the first starts with F0, the last ends with F7).
    void Feed(std::uint64_t micros, std::span<const std::uint8_t> bytes,
              std::vector<LintWarning>& out);
    // Time has passed with nothing fed: checks for silence.
    void Tick(std::uint64_t micros, std::vector<LintWarning>& out);
    // The source closed: notes still on are stuck, a sysex open never ends.
    void Close(std::vector<LintWarning>& out);

  private:
    void ReportStuck(const char* why, std::vector<LintWarning>& out);
    void CheckClock(std::uint64_t micros, std::vector<LintWarning>& out);

    LintSettings settings_;
    NoteTracker notes_;
    std::uint64_t last_ = 0; // the time of the last message
    bool any_ = false;
    bool stuckReported_ = false;
    bool stuckOutstanding_ = false; // told, and not all released since
    // Per channel: whether an RPN or NRPN is selected, and whether data
    // entry without one was already reported (once until one is selected).
    std::array<bool, 16> parameter_{};
    std::array<bool, 16> entryReported_{};
    std::array<std::uint8_t, 16> msb_{}, lsb_{}; // last parameter number bytes, 127 = null
    bool sysexOpen_ = false;
    std::uint64_t sysexStart_ = 0;
    std::size_t sysexBytes_ = 0;
    std::optional<std::uint64_t> lastClock_;
    std::vector<std::uint64_t> intervals_;
    int clocksSinceWarning_ = 0;
    bool clockOutstanding_ = false; // told, and not steady since
    int steadyClocks_ = 0;
    std::optional<std::uint64_t> lastSensing_;
    bool sensingReported_ = false;
};

} // namespace velmora
