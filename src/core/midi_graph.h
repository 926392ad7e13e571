// Whether what Velmora sends to one port of a MIDI graph can come back at
// another: the graph of the MIDI service (JACK's connections, the ALSA
// sequencer's subscriptions) as plain data, and a walk over it. Every back
// end fills a MidiGraph from its own calls and asks FindWayBack; nothing
// here knows a service.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Whether a path from an output back to an input exists.
enum class WayBack {
    Unknown,  // only through something the graph cannot see into (hardware)
    None,     // no path: nothing sent can come back
    Possible, // a path through clients that may pass on what they receive
};

struct MidiGraph {
    // What a node (a client, a device) may do with what reaches one of its
    // receiving ports.
    enum class Node {
        PassThrough, // may send it on from any of its sending ports
        Outside,     // hardware: a cable or a device's echo may bring it back
                     // at any Outside node's sending port
        Sink,        // keeps it (a recorder, Velmora's own input)
    };
    struct Port {
        std::string name;   // as the service lists it
        std::string node;   // the client it belongs to
        bool sends = false; // others listen to it; false: others send to it
    };

    std::vector<Port> ports;
    // A sending port's name, then the name of a receiving port it reaches.
    std::vector<std::pair<std::string, std::string>> connections;
    // Nodes not named here pass through.
    std::map<std::string, Node> nodes;
};

// Whether what reaches any of the receiving ports `from` may come out of any
// of the sending ports `to`, or reach any of the receiving ports `to` (an
// input of Velmora's own, which others send to). Possible when a chain of connections and
// pass-through nodes leads there; Unknown when it needs an Outside node;
// None when nothing leads there.
WayBack FindWayBack(const MidiGraph& graph, const std::vector<std::string>& from,
                    const std::vector<std::string>& to);

} // namespace velmora
