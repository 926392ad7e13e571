// Chooses the MIDI service at run time: "alsa", "jack", "" (the first that
// works: ALSA sequencer, then a running JACK server) or "demo" (the
// simulated service with its demo keyboard and synth).
#pragma once

#include <memory>
#include <string>

#include "midi/midi_service.h"

namespace velmora::midi {

std::unique_ptr<MidiService> CreateMidiService(const std::string& api, std::string* error);

} // namespace velmora::midi
