#include "midi/jack/jack_graph.h"

#include <jack/jack.h>

#include <string>

namespace velmora::midi {

MidiGraph ReadJackGraph(jack_client_t* client) {
    MidiGraph graph;
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0);
    if (ports == nullptr) {
        return graph;
    }
    for (const char** name = ports; *name != nullptr; ++name) {
        jack_port_t* port = jack_port_by_name(client, *name);
        if (port == nullptr) {
            continue; // gone since it was listed
        }
        const std::string full = *name;
        const std::string node = full.substr(0, full.find(':'));
        const int flags = jack_port_flags(port);
        graph.ports.push_back({full, node, (flags & JackPortIsOutput) != 0});
        if ((flags & JackPortIsPhysical) != 0) {
            graph.nodes[node] = MidiGraph::Node::Outside;
        }
        if ((flags & JackPortIsOutput) == 0) {
            continue;
        }
        if (const char** to = jack_port_get_all_connections(client, port)) {
            for (const char** other = to; *other != nullptr; ++other) {
                graph.connections.emplace_back(full, *other);
            }
            jack_free(static_cast<void*>(to));
        }
    }
    jack_free(static_cast<void*>(ports));
    return graph;
}

std::vector<std::string> JackMidiPorts(jack_client_t* client, bool receiving) {
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        receiving ? JackPortIsInput : JackPortIsOutput);
    if (ports != nullptr) {
        for (const char** port = ports; *port != nullptr; ++port) {
            names.emplace_back(*port);
        }
        jack_free(static_cast<void*>(ports));
    }
    return names;
}

} // namespace velmora::midi
