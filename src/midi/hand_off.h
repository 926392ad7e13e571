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

} // namespace velmora::midi
