// The synchronous hand-off from the MIDI delivery thread to the window
// thread: Raise returns only when the window thread has handled the code.
#pragma once

namespace velmora::midi {

// Codes: '1' a sysex block is ready (main window) or appended (record
// window); '2' a short message is ready (main window).
class HandOff {
  public:
    virtual ~HandOff() = default;
    virtual void Raise(char code) = 0;
};

// What a front end does with a raised code, on its own thread.
class UiSignalReceiver {
  public:
    virtual ~UiSignalReceiver() = default;
    virtual void HandleSignal(char code) = 0;
};

// For front ends that show nothing of a hand-off (recording only).
class IgnoreHandOffs : public UiSignalReceiver {
  public:
    void HandleSignal(char) override {}
};

} // namespace velmora::midi
