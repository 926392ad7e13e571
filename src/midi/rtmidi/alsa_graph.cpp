#include "midi/rtmidi/alsa_graph.h"

#include <alsa/asoundlib.h>

#include <string>

namespace velmora::midi {

namespace {

std::string PortName(const std::string& clientName, const std::string& portName, int client,
                     int port) {
    return clientName + ":" + portName + " " + std::to_string(client) + ":" + std::to_string(port);
}

MidiGraph::Node KindOf(snd_seq_client_info_t* info) {
    const std::string name = snd_seq_client_info_get_name(info);
    if (snd_seq_client_info_get_client(info) == SND_SEQ_CLIENT_SYSTEM) {
        return MidiGraph::Node::Sink;
    }
    if (snd_seq_client_info_get_type(info) == SND_SEQ_USER_CLIENT || name == "Midi Through") {
        return MidiGraph::Node::PassThrough;
    }
    return MidiGraph::Node::Outside;
}

} // namespace

AlsaGraphReader::~AlsaGraphReader() {
    if (seq_ != nullptr) {
        snd_seq_close(static_cast<snd_seq_t*>(seq_));
    }
}

std::optional<MidiGraph> AlsaGraphReader::Read() {
    std::lock_guard lock(mutex_);
    if (seq_ == nullptr) {
        snd_seq_t* seq = nullptr;
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
            return std::nullopt;
        }
        snd_seq_set_client_name(seq, clientName_.c_str());
        seq_ = seq;
    }
    auto* seq = static_cast<snd_seq_t*>(seq_);

    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_query_subscribe_t* subs = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_query_subscribe_alloca(&subs);

    // Names by address first: a subscriber is given by its address.
    struct Listed {
        int client, port;
        std::string name;
        bool sends;
    };
    std::vector<Listed> listed;
    MidiGraph graph;
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int c = snd_seq_client_info_get_client(client);
        const std::string clientName = snd_seq_client_info_get_name(client);
        const std::string node = std::to_string(c);
        graph.nodes[node] = KindOf(client);
        snd_seq_port_info_set_client(port, c);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            const int p = snd_seq_port_info_get_port(port);
            const std::string name = PortName(clientName, snd_seq_port_info_get_name(port), c, p);
            // A port may both send and receive: one entry for each side.
            if ((caps & SND_SEQ_PORT_CAP_READ) != 0) {
                graph.ports.push_back({name + " >", node, true});
                listed.push_back({c, p, name, true});
            }
            if ((caps & SND_SEQ_PORT_CAP_WRITE) != 0) {
                graph.ports.push_back({name, node, false});
                listed.push_back({c, p, name, false});
            }
        }
    }
    auto receivingName = [&](int c, int p) -> const std::string* {
        for (const Listed& l : listed) {
            if (!l.sends && l.client == c && l.port == p) {
                return &l.name;
            }
        }
        return nullptr;
    };
    for (const Listed& l : listed) {
        if (!l.sends) {
            continue;
        }
        snd_seq_addr_t root{static_cast<unsigned char>(l.client),
                            static_cast<unsigned char>(l.port)};
        snd_seq_query_subscribe_set_root(subs, &root);
        snd_seq_query_subscribe_set_type(subs, SND_SEQ_QUERY_SUBS_READ);
        snd_seq_query_subscribe_set_index(subs, 0);
        while (snd_seq_query_port_subscribers(seq, subs) >= 0) {
            const snd_seq_addr_t* to = snd_seq_query_subscribe_get_addr(subs);
            if (const std::string* name = receivingName(to->client, to->port)) {
                graph.connections.emplace_back(l.name + " >", *name);
            }
            snd_seq_query_subscribe_set_index(subs, snd_seq_query_subscribe_get_index(subs) + 1);
        }
    }
    return graph;
}

} // namespace velmora::midi
