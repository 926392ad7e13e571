// What becomes of every event that arrives at the open input, by InputMode:
// Monitor shows it (and passes it through to the main output), Record
// collects sysex, MultiOut routes short messages to the router's outputs.
// Runs on the MIDI service's delivery thread, one event at a time. A path
// whose output comes back at the input (a feedback loop) is switched off
// (echo_guard.h tells when).
#pragma once

#include <array>
#include <atomic>

#include "core/echo_guard.h"
#include "midi/hand_off.h"
#include "midi/input_state.h"
#include "midi/midi_functions.h"

namespace velmora::midi {

class MidiInCallback {
  public:
    MidiInCallback(MidiFunctions& midi, InputPathState& path, RouterSettings& router,
                   HandOff& mainSignal);
    ~MidiInCallback();
    MidiInCallback(const MidiInCallback&) = delete;
    MidiInCallback& operator=(const MidiInCallback&) = delete;

    // The record window's hand-off; set on the window thread.
    void SetRecordSignal(HandOff* signal) { recordSignal_.store(signal); }

    void operator()(const InputEvent& event);

    // The callable to give to MidiFunctions::OpenMidiIn; this object must
    // outlive the open input.
    InputCallback AsCallback() {
        return [this](const InputEvent& event) { (*this)(event); };
    }

  private:
    // `micros`: the service's time of arrival (InputEvent::micros), handed on
    // so the window's capture times what the command line's does; 0 lets the
    // hand-off stamp it.
    // `passed`: what the service's cycle already sent as thru (0: nothing).
    void ShortMonitor(ShortMessage message, std::uint64_t micros, ShortMessage passed);
    void ShortMultiOut(ShortMessage message);
    void LongData(MidiHeader& header, std::uint64_t micros);
    void HandBack(MidiHeader& header);
    bool ProbeCameBack(std::span<const std::uint8_t> bytes);
    LoopAction ThruLoopCheck(ShortMessage received, std::int64_t now);
    std::int64_t ThruGuardTime(std::uint64_t micros);
    LoopAction RouterLoopCheck(ShortMessage received, std::int64_t now);
    void BreakThru();

    MidiFunctions& midi_;
    InputPathState& path_;
    RouterSettings& router_;
    HandOff& mainSignal_;
    std::atomic<HandOff*> recordSignal_{nullptr};
    // Delivery thread only: what thru and the router sent, against what
    // comes back. The service is asked for the way back on this thread.
    EchoGuard thruEchoes_{0};
    std::int64_t thruGuardMs_ = 0; // the last time thruEchoes_ was given
    EchoGuard routerEchoes_{1};
    std::array<WayBack, 4> routerWayBack_{}; // of router outputs 1..4, at the last check
};

} // namespace velmora::midi
