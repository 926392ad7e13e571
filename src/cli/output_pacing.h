// Sending many messages to an output from the command line: a send the
// port's queue can't take yet is tried again for a while instead of lost
// (the same pacing as the window's panic, midi/patient_send.h).
#pragma once

#include <span>

#include "core/short_message.h"
#include "midi/midi_service.h"
#include "midi/patient_send.h"

namespace velmora::cli {

using midi::SendPatiently;

// False when the port is gone or still refuses one of them after a while.
inline bool SendPatiently(midi::MidiOutPort& port, std::span<const ShortMessage> messages) {
    return midi::SendAllPatiently(port, messages) == messages.size();
}

} // namespace velmora::cli
