// The JACK graph as plain data for the loop guard's walk (core/midi_graph.h):
// read through any client of ours, on any thread but the real-time one.
#pragma once

#include "core/midi_graph.h"

typedef struct _jack_client jack_client_t;

namespace velmora::midi {

// Every MIDI port by its full name, its client as its node, and what each
// sending port is connected to; a client with a physical port (a hardware
// bridge) is Outside.
MidiGraph ReadJackGraph(jack_client_t* client);

} // namespace velmora::midi
