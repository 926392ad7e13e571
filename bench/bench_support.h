// What the benchmark programs share: a reporter that prints, a window
// stand-in that runs the monitor's analysis, and round-trip timing of notes
// through JACK clients.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "core/analysis.h"
#include "core/events_history.h"
#include "midi/midi_functions.h"
#include "midi/ui_signal.h"

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

class PrintReporter : public midi::Reporter {
  public:
    void Report(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// Does what the Data Monitor does with each short message, without widgets.
class AnalysingReceiver : public midi::UiSignalReceiver {
  public:
    void Attach(midi::MidiFunctions& midi) { midi_ = &midi; }
    void HandleSignal(const midi::Handed& handed) override {
        if (handed.kind == midi::HandedKind::Short) {
            const auto r = AnalyseShortMessage(handed.message, {});
            if (r.showFields) {
                history_.Append(r.explicitText.historyLine);
            }
            handled.fetch_add(1, std::memory_order_relaxed);
        }
    }
    std::atomic<std::uint64_t> handled{0};

  private:
    midi::MidiFunctions* midi_ = nullptr;
    EventsHistory history_;
};

struct RoundTripFigures {
    double medianMs = 0, p95Ms = 0, maxMs = 0;
    int lost = 0;
};

// Sends `count` notes one at a time with `send` and times each until `arrived`
// says every listener has it; `clear` comes before each note. Irregular
// pauses between notes keep them from locking onto the audio cycle.
template <typename Send, typename Arrived, typename Clear>
RoundTripFigures TimeRoundTrips(int count, Send send, Arrived arrived, Clear clear) {
    std::vector<double> ms;
    RoundTripFigures f;
    for (int i = 0; i < count; ++i) {
        clear();
        const auto start = Clock::now();
        send(static_cast<std::uint8_t>(i % 128));
        if (!arrived()) {
            ++f.lost;
            continue;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::microseconds(700 + (i * 131) % 3000));
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        f.medianMs = ms[ms.size() / 2];
        f.p95Ms = ms[ms.size() * 95 / 100];
        f.maxMs = ms.back();
    }
    return f;
}

inline void PrintRoundTrips(const char* what, const RoundTripFigures& f) {
    std::printf("  %-15s median %.2f ms, p95 %.2f ms, max %.2f ms, lost %d\n", what, f.medianMs,
                f.p95Ms, f.maxMs, f.lost);
}

} // namespace velmora::bench
