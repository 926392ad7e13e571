// Sending a run of short messages to an output whose queue may, for a
// moment, have no room: a message the port refuses is offered again every
// millisecond until it is taken, the port is gone, or `patience` passes
// without the port taking it. Messages go in order; the first one not taken
// ends the run, so nothing is sent out of order.
//
// It waits, so it runs on a thread that may: the command line's main thread,
// or the window's thread for the few messages of a panic (with a short
// patience). Never on a real-time thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <span>
#include <thread>

#include "core/short_message.h"

namespace velmora::midi {

// How long the command line waits for a port to take one message.
inline constexpr std::chrono::milliseconds kCommandPatience{2000};

// `Port` has `bool SendShort(ShortMessage)` and `bool Gone() const`
// (MidiOutPort, OutputSlot). False when the port is gone or still refuses
// after `patience`.
template <class Port>
bool SendPatiently(Port& port, ShortMessage message,
                   std::chrono::milliseconds patience = kCommandPatience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!port.SendShort(message)) {
        if (port.Gone() || std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// How many of `messages` the port took, from the first on.
template <class Port>
std::size_t SendAllPatiently(Port& port, std::span<const ShortMessage> messages,
                             std::chrono::milliseconds patience = kCommandPatience) {
    std::size_t taken = 0;
    while (taken < messages.size() && SendPatiently(port, messages[taken], patience)) {
        ++taken;
    }
    return taken;
}

} // namespace velmora::midi
