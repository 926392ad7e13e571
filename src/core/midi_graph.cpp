#include "core/midi_graph.h"

#include <set>

namespace velmora {
namespace {

MidiGraph::Node KindOf(const MidiGraph& graph, const std::string& node) {
    const auto it = graph.nodes.find(node);
    return it == graph.nodes.end() ? MidiGraph::Node::PassThrough : it->second;
}

// Walks from the receiving ports `from`; Outside nodes are crossed only when
// `throughOutside`, and then as one node: a cable may join any two of them.
bool Reaches(const MidiGraph& graph, const std::vector<std::string>& from,
             const std::set<std::string>& to, bool throughOutside) {
    std::map<std::string, std::vector<std::string>> sendingPortsOf;
    std::map<std::string, const MidiGraph::Port*> portByName;
    for (const MidiGraph::Port& port : graph.ports) {
        portByName[port.name] = &port;
        if (port.sends) {
            sendingPortsOf[port.node].push_back(port.name);
        }
    }
    std::multimap<std::string, std::string> reached; // sending port -> receiving ports
    for (const auto& [sending, receiving] : graph.connections) {
        reached.emplace(sending, receiving);
    }

    std::set<std::string> seenNodes;
    bool outsideSeen = false;
    std::vector<std::string> receiving(from.begin(), from.end());
    std::set<std::string> seenReceiving(from.begin(), from.end());
    while (!receiving.empty()) {
        const std::string port = receiving.back();
        receiving.pop_back();
        if (to.count(port) != 0) {
            return true;
        }
        const auto found = portByName.find(port);
        if (found == portByName.end()) {
            continue; // gone since it was listed
        }
        const std::string& node = found->second->node;
        std::vector<std::string> nodesOut;
        switch (KindOf(graph, node)) {
        case MidiGraph::Node::Sink:
            continue;
        case MidiGraph::Node::PassThrough:
            nodesOut.push_back(node);
            break;
        case MidiGraph::Node::Outside:
            if (!throughOutside || outsideSeen) {
                continue;
            }
            outsideSeen = true;
            for (const auto& [name, kind] : graph.nodes) {
                if (kind == MidiGraph::Node::Outside) {
                    nodesOut.push_back(name);
                }
            }
            break;
        }
        for (const std::string& n : nodesOut) {
            if (!seenNodes.insert(n).second) {
                continue;
            }
            for (const std::string& sending : sendingPortsOf[n]) {
                if (to.count(sending) != 0) {
                    return true;
                }
                const auto [first, last] = reached.equal_range(sending);
                for (auto it = first; it != last; ++it) {
                    if (seenReceiving.insert(it->second).second) {
                        receiving.push_back(it->second);
                    }
                }
            }
        }
    }
    return false;
}

} // namespace

WayBack FindWayBack(const MidiGraph& graph, const std::vector<std::string>& from,
                    const std::vector<std::string>& to) {
    const std::set<std::string> targets(to.begin(), to.end());
    if (Reaches(graph, from, targets, false)) {
        return WayBack::Possible;
    }
    if (Reaches(graph, from, targets, true)) {
        return WayBack::Unknown;
    }
    return WayBack::None;
}

} // namespace velmora
