// What becomes of every event that arrives at the open input, by InputMode:
// Monitor shows it (and passes it through to the main output), Record
// collects sysex, MultiOut routes short messages to the router's outputs.
// Runs on the MIDI service's delivery thread, one event at a time.
#pragma once

#include <atomic>

#include "midi/hand_off.h"
#include "midi/input_state.h"
#include "midi/midi_functions.h"

namespace velmora::midi {

class MidiInCallback {
public:
    MidiInCallback(MidiFunctions& midi, MainWindowTags& tags, RouterSettings& router,
                   HandOff& mainSignal);

    // The record window's hand-off; set on the window thread.
    void SetRecordSignal(HandOff* signal) { recordSignal_.store(signal); }

    void operator()(const InputEvent& event);

    // The callable to give to MidiFunctions::OpenMidiIn; this object must
    // outlive the open input.
    InputCallback AsCallback() {
        return [this](const InputEvent& event) { (*this)(event); };
    }

private:
    void ShortMonitor(ShortMessage message);
    void ShortMultiOut(ShortMessage message);
    void LongData(MidiHeader& header);
    void HandBack(MidiHeader& header);

    MidiFunctions& midi_;
    MainWindowTags& tags_;
    RouterSettings& router_;
    HandOff& mainSignal_;
    std::atomic<HandOff*> recordSignal_{nullptr};
};

// Thru: the message with its channel replaced by the "Channel n" choice
// (index 1 to 16) of the thru list; "As Input" (0), no selection and every
// message that is not a channel message leave it unchanged.
ShortMessage ThruMessage(ShortMessage message, int thruChannelIndex);

// The sysex monitor's text of a block: each byte as two upper-case hex
// digits followed by a space.
std::string SysexHexText(std::span<const std::uint8_t> bytes);

} // namespace velmora::midi
