// Velmora's MIDI service on the ALSA sequencer, on alsa-lib's snd_seq_*
// directly. Devices are the sequencer's ports that take or give MIDI,
// listed as "client:port C:P" ("Midi Through:Midi Through Port-0 14:0"), in
// client then port order, as announced by the sequencer (PortWatch).
//
// With the default client name "Velmora", the clients it makes are:
//   device lists      client "Velmora list", one hidden port (no MIDI)
//   input ports       client "Velmora in" with the port "in" (then
//                     "Velmora in 2" with "in 2", ...)
//   output ports      client "Velmora out" with the port "out" (then
//                     "Velmora out 2" with "out 2", ... one per open output)
//   own input port    a client and port both named as asked ("Velmora
//                     Monitor:Velmora Monitor 130:0" to other programs)
// Velmora's clients never show in its own lists (nor any Velmora's, by name).
#pragma once

#include <memory>
#include <string>

#include "midi/midi_service.h"

namespace velmora::midi {

// nullptr, with the reason in *error, when the sequencer can't be used (no
// /dev/snd/seq).
std::unique_ptr<MidiService> CreateAlsaService(std::string* error,
                                               const std::string& clientBase = "Velmora");

} // namespace velmora::midi
