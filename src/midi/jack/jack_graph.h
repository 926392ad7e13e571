// The JACK graph as plain data for the loop guard's walk (core/midi_graph.h):
// read through any client of ours, on any thread but the real-time one.
#pragma once

#include <string>
#include <vector>

#include "core/midi_graph.h"

typedef struct _jack_client jack_client_t;

namespace velmora::midi {

// Every MIDI port by its full name, its client as its node, and what each
// sending port is connected to; a client with a physical port (a hardware
// bridge) is Outside.
MidiGraph ReadJackGraph(jack_client_t* client);

// The MIDI ports of every client, "client:port", in the server's order: those
// that receive (`receiving`) or those that send.
std::vector<std::string> JackMidiPorts(jack_client_t* client, bool receiving);

} // namespace velmora::midi
