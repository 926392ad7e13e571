#include "midi/alsa/seq_client.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace velmora::midi::alsa {

namespace {

constexpr unsigned kMidiTypes =
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;

// The sequencer's SNDRV_SEQ_IOCTL_GET_CLIENT_POOL, spelled out here: the
// kernel's own header clashes with alsa-lib's names.
struct ClientPool {
    int client;
    int output_pool;
    int input_pool;
    int output_room;
    int output_free;
    int input_free;
    char reserved[64];
};
constexpr unsigned long kGetClientPool = _IOWR('S', 0x4b, ClientPool);

bool Has(unsigned bits, unsigned wanted) {
    return (bits & wanted) == wanted;
}

SeqPort Describe(const snd_seq_client_info_t* client, const snd_seq_port_info_t* port) {
    SeqPort p;
    const snd_seq_addr_t* addr = snd_seq_port_info_get_addr(port);
    p.address = {addr->client, addr->port};
    p.clientName = snd_seq_client_info_get_name(const_cast<snd_seq_client_info_t*>(client));
    p.portName = snd_seq_port_info_get_name(port);
    p.capability = snd_seq_port_info_get_capability(port);
    p.type = snd_seq_port_info_get_type(port);
    p.kernelClient = snd_seq_client_info_get_type(client) == SND_SEQ_KERNEL_CLIENT;
    return p;
}

} // namespace

std::string SeqPort::ListedName() const {
    return clientName + ":" + portName + " " + std::to_string(address.client) + ":" +
           std::to_string(address.port);
}

bool SeqPort::Readable() const {
    return address.client != SND_SEQ_CLIENT_SYSTEM && (type & kMidiTypes) != 0 &&
           Has(capability, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ) &&
           (capability & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
}

bool SeqPort::Writable() const {
    return address.client != SND_SEQ_CLIENT_SYSTEM && (type & kMidiTypes) != 0 &&
           Has(capability, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE) &&
           (capability & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
}

bool SeqPort::PassesThrough() const {
    return kernelClient && clientName == "Midi Through";
}

bool SeqPort::RawMidi() const {
    return kernelClient && !PassesThrough() && (type & SND_SEQ_PORT_TYPE_MIDI_GENERIC) != 0;
}

std::unique_ptr<SeqClient> SeqClient::Open(const std::string& name, std::string* why) {
    snd_seq_t* seq = nullptr;
    int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (err < 0) {
        *why = std::string("the ALSA sequencer can't be opened: ") + snd_strerror(err);
        return nullptr;
    }
    std::unique_ptr<SeqClient> client(new SeqClient(seq));
    if ((err = snd_seq_set_client_name(seq, name.c_str())) < 0 ||
        (err = snd_seq_set_input_buffer_size(seq, kEventBufferBytes)) < 0 ||
        (err = snd_seq_set_output_buffer_size(seq, kEventBufferBytes)) < 0 ||
        (err = snd_seq_set_client_pool_input(seq, kInputPoolCells)) < 0) {
        *why = std::string("the ALSA sequencer client can't be set up: ") + snd_strerror(err);
        return nullptr;
    }
    return client;
}

SeqClient::SeqClient(snd_seq_t* seq) : seq_(seq), id_(snd_seq_client_id(seq)) {}

SeqClient::~SeqClient() {
    snd_seq_close(seq_);
}

std::vector<SeqPort> SeqClient::Ports() const {
    std::vector<SeqPort> ports;
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq_, client) >= 0) {
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq_, port) >= 0) {
            ports.push_back(Describe(client, port));
        }
    }
    return ports;
}

std::optional<SeqPort> SeqClient::Port(SeqAddress address) const {
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    if (snd_seq_get_any_client_info(seq_, address.client, client) < 0 ||
        snd_seq_get_any_port_info(seq_, address.client, address.port, port) < 0) {
        return std::nullopt;
    }
    return Describe(client, port);
}

std::vector<SeqAddress> SeqClient::Subscribers(SeqAddress port) const {
    std::vector<SeqAddress> found;
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_addr_t root{static_cast<unsigned char>(port.client),
                        static_cast<unsigned char>(port.port)};
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
    snd_seq_query_subscribe_set_index(query, 0);
    while (snd_seq_query_port_subscribers(seq_, query) >= 0) {
        const snd_seq_addr_t* to = snd_seq_query_subscribe_get_addr(query);
        found.push_back({to->client, to->port});
        snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    return found;
}

std::optional<int> SeqClient::InputPoolFree(int client) const {
    // alsa-lib asks only about its own client; the sequencer answers for any.
    struct pollfd fd {};
    if (snd_seq_poll_descriptors(seq_, &fd, 1, POLLIN) != 1) {
        return std::nullopt;
    }
    ClientPool pool{};
    pool.client = client;
    if (ioctl(fd.fd, kGetClientPool, &pool) < 0 || pool.input_pool <= 0) {
        return std::nullopt;
    }
    return pool.input_free;
}

} // namespace velmora::midi::alsa
