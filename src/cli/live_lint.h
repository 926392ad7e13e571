// The stream checker on a live input, for `monitor --lint`: warnings go to
// standard error as they are found.
//
// Threads: Feed runs on the input's delivery thread (never the real-time
// thread: that only fills the port's queue), Tick and Close on the main
// thread; the lock keeps them apart and is never held while the real-time
// thread waits on it.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/midi_lint.h"
#include "core/terminal_text.h"
#include "midi/midi_service.h"

namespace velmora::cli {

class LiveLint {
  public:
    // `source` names the input in each warning, when there are several.
    explicit LiveLint(std::string source = {}) : source_(std::move(source)) {}

    // Before the event is handed on: a sysex buffer is reused once it is.
    void Feed(const midi::InputEvent& event) {
        std::lock_guard lock(lock_);
        if (event.code == midi::InputMessage::Data) {
            const std::uint8_t status = StatusOf(event.message);
            const std::uint8_t bytes[] = {status, Data1Of(event.message), Data2Of(event.message)};
            const int n = std::max(ShortMessageBytes(status), 1);
            lint_.Feed(Now(), std::span(bytes, static_cast<std::size_t>(n)), warnings_);
        } else if (event.header != nullptr && event.header->dwBytesRecorded > 0) {
            lint_.Feed(Now(),
                       std::span(event.header->lpData, std::size_t{event.header->dwBytesRecorded}),
                       warnings_);
        }
        Print();
    }
    void Tick() {
        std::lock_guard lock(lock_);
        lint_.Tick(Now(), warnings_);
        Print();
    }
    void Close() {
        std::lock_guard lock(lock_);
        lint_.Close(warnings_);
        Print();
    }

  private:
    std::uint64_t Now() const {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - start_)
                                              .count());
    }
    void Print() {
        for (const LintWarning& w : warnings_) {
            // A fault that ended is told as news, not as a warning.
            std::fprintf(stderr, "velmora-cli monitor: %s: %s%s%s\n", w.ended ? "over" : "warning",
                         TerminalSafe(source_).c_str(), source_.empty() ? "" : ": ",
                         TerminalSafe(w.text).c_str());
        }
        warnings_.clear();
    }

    const std::string source_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex lock_;
    MidiLint lint_;
    std::vector<LintWarning> warnings_;
};

} // namespace velmora::cli
