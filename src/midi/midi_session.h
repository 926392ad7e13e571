// A running Velmora's MIDI side, wired once for every front end (the window,
// velmora-cli, the benchmarks and the tests): the service's functions, the
// state the input path shares, the router settings, the hand-off to the
// front end's thread and the input callback.
//
// Threads: the thread that makes the session (the front end's, Qt's main
// thread) calls everything here. The service's delivery thread runs only the
// callback, which reaches the front end through the hand-off (UiSignal).
// The real-time thread (JACK's process cycle, RtMidi's ALSA thread) never
// reaches this class: it only enqueues into the port's ring (QueuedMidiIn).
#pragma once

#include "midi/input_state.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "midi/ui_signal.h"

namespace velmora::midi {

class MidiSession {
  public:
    // `shown` handles the main hand-off: '1' a sysex block (PendingSysexText),
    // '2' a short message (LastShortMessage).
    MidiSession(MidiService& service, Reporter& reporter, UiSignalReceiver& shown,
                TickSource ticks = SteadyTickCount);
    // Shutdown, then the parts go in the order that keeps every wait safe.
    ~MidiSession();

    MidiSession(const MidiSession&) = delete;
    MidiSession& operator=(const MidiSession&) = delete;

    MidiFunctions& midi() { return midi_; }
    InputPathState& path() { return path_; }
    RouterSettings& router() { return router_; }
    MidiInCallback& callback() { return callback_; }
    UiSignal& signal() { return signal_; }

    // The recorder's hand-off (record window, velmora-cli record), or null.
    // It is served like the main one while the input closes, so a recording
    // never holds up a close.
    void SetRecordSignal(UiSignal* signal);

    // Opens the chosen input with this session's callback.
    bool OpenInput() { return midi_.OpenMidiIn(callback_.AsCallback()); }
    // Passes the input through to the main output, on `thruChannel`.
    bool OpenThru(int thruChannel = 0);

    // Closes the input (serving the hand-offs), then the outputs; from then
    // on a late hand-off returns at once. Safe to call again.
    void Shutdown();

  private:
    void ServeHandOffs();

    MidiFunctions midi_;
    InputPathState path_;
    RouterSettings router_;
    UiSignal signal_;
    UiSignal* recordSignal_ = nullptr;
    MidiInCallback callback_;
};

} // namespace velmora::midi
