// Sending many messages to an output from the command line: a send the
// port's queue can't take yet is tried again for a while instead of lost.
#pragma once

#include <chrono>
#include <span>
#include <thread>

#include "core/short_message.h"
#include "midi/midi_service.h"

namespace velmora::cli {

// False when the port is gone or still refuses after `patience`.
inline bool SendPatiently(midi::MidiOutPort& port, ShortMessage message,
                          std::chrono::milliseconds patience = std::chrono::seconds(2)) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!port.SendShort(message)) {
        if (port.Gone() || std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline bool SendPatiently(midi::MidiOutPort& port, std::span<const ShortMessage> messages) {
    for (const ShortMessage m : messages) {
        if (!SendPatiently(port, m)) {
            return false;
        }
    }
    return true;
}

} // namespace velmora::cli
