// Test doubles for the MIDI layer's outward edges: a reporter that records
// failure texts, and a hand-off that records what the window would be asked
// to show, in order, at the moment it is asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/sysex_text.h"
#include "midi/hand_off.h"
#include "midi/midi_functions.h"
#include "midi/reporter.h"

namespace velmora::testing {

class RecordingReporter : public midi::Reporter {
  public:
    void Report(const std::string& text) override {
        std::lock_guard lock(lock_);
        texts_.push_back(text);
    }
    std::vector<std::string> Texts() const {
        std::lock_guard lock(lock_);
        return texts_;
    }
    void Clear() {
        std::lock_guard lock(lock_);
        texts_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::string> texts_;
};

// What one hand-off carried.
struct HandedOver {
    char code;
    ShortMessage lastShortMessage;
    std::string pendingSysexText;
    std::string recordStatus;
    std::uint64_t micros = 0; // as handed: the service's stamp, or 0
};

class RecordingHandOff : public midi::HandOff {
  public:
    explicit RecordingHandOff(midi::MidiFunctions& midi) : midi_(midi) {}
    void Raise(const midi::Handed& handed) override {
        HandedOver h{handed.kind == midi::HandedKind::Sysex ? '1' : '2',
                     handed.message,
                     SysexHexText(handed.sysex),
                     {},
                     handed.micros};
        {
            std::lock_guard store(midi_.sysex.lock);
            h.recordStatus = midi_.sysex.statusText;
        }
        std::lock_guard lock(lock_);
        seen_.push_back(std::move(h));
        changed_.notify_all();
    }
    std::vector<HandedOver> Seen() const {
        std::lock_guard lock(lock_);
        return seen_;
    }
    bool WaitCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return seen_.size() >= n; });
    }

  private:
    midi::MidiFunctions& midi_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<HandedOver> seen_;
};

} // namespace velmora::testing
