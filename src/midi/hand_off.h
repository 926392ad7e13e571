// The hand-off from the MIDI delivery thread to the front end's thread: each
// message the front end shows travels as one Handed, in the order it came,
// after thru has passed it on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/short_message.h"

namespace velmora::midi {

enum class HandedKind : std::uint8_t {
    Sysex, // a sysex block is ready (main window) or appended (record window)
    Short, // a short message to show (main window)
    Clock, // a timing clock to print (velmora-cli monitor)
};

// The most bytes a handed sysex block carries: one input buffer's.
constexpr std::size_t kHandedSysexBytes = 4096;

struct Handed {
    HandedKind kind = HandedKind::Short;
    ShortMessage message = 0; // Short and Clock
    // Sysex: the block's bytes, valid only during the call that receives it.
    std::span<const std::uint8_t> sysex;
    // When it arrived, in microseconds of the steady clock: the service's
    // own stamp (InputEvent::micros) where the input path passes it on, else
    // when it was handed over (HandOffMicros); 0 until the hand-off stamps it. The window thread
    // sees messages in batches, so this is what a capture or a timing check uses.
    std::uint64_t micros = 0;
    // The input it came from: 0 the chosen input (the Setup panel's), 1 and
    // up the window's extra inputs (app/extra_inputs.h).
    std::uint8_t source = 0;
};

// The hand-off's clock: the steady clock in microseconds. Any thread; it
// neither locks nor allocates.
std::uint64_t HandOffMicros();

class HandOff {
  public:
    virtual ~HandOff() = default;
    virtual void Raise(const Handed& handed) = 0;
};

// What a front end does with a handed message, on its own thread.
class UiSignalReceiver {
  public:
    virtual ~UiSignalReceiver() = default;
    virtual void HandleSignal(const Handed& handed) = 0;
    // A paced stream is over: the pace's end found nothing new.
    virtual void StreamEnded() {}
};

// For front ends that show nothing of a hand-off (recording only).
class IgnoreHandOffs : public UiSignalReceiver {
  public:
    void HandleSignal(const Handed&) override {}
};

} // namespace velmora::midi
