#include "jack_peer.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include "midi/jack/missed_cycles.h"
#include "support/eventually.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace velmora::jacktest {

namespace {

// Events wait here as a 32-bit length followed by the bytes; received ones
// begin with their 32-bit frame time, counted in the length.
constexpr std::size_t kSendQueueBytes = std::size_t{4} << 20;
constexpr std::size_t kReceiveQueueBytes = std::size_t{16} << 20;
constexpr std::uint32_t kHeaderBytes = sizeof(std::uint32_t);

using velmora::testing::Eventually;

// The length of the next whole event in `ring`, if all of it is there.
bool PeekEvent(jack_ringbuffer_t* ring, std::uint32_t* length) {
    const std::size_t available = jack_ringbuffer_read_space(ring);
    if (available < kHeaderBytes) {
        return false;
    }
    jack_ringbuffer_peek(ring, reinterpret_cast<char*>(length), kHeaderBytes);
    return available >= kHeaderBytes + *length;
}

} // namespace

struct JackPeer::Jack {
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
    jack_ringbuffer_t* sendQueue = nullptr;
    jack_ringbuffer_t* receiveQueue = nullptr;
    std::atomic<bool> shutDown{false};
    midi::MissedCycles missedCycles; // the process callback's alone

    // Stops the process callback: after this, nothing runs on JACK's thread.
    void Close() {
        if (client != nullptr) {
            jack_deactivate(client);
            // No more xrun notices: a server running late sends one each cycle,
            // and once close has stopped our notice thread they fill its socket
            // until the server blocks writing to it and never answers the close.
            jack_set_xrun_callback(client, nullptr, nullptr);
            jack_client_close(client);
            client = nullptr;
        }
    }

    ~Jack() {
        Close();
        if (sendQueue != nullptr) {
            jack_ringbuffer_free(sendQueue);
        }
        if (receiveQueue != nullptr) {
            jack_ringbuffer_free(receiveQueue);
        }
    }
};

JackPeer::JackPeer() : jack_(std::make_unique<Jack>()) {}

JackPeer::~JackPeer() {
    jack_->Close(); // stops the process callback before the members it uses go
}

std::unique_ptr<JackPeer> JackPeer::Open(const std::string& name, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    };
    std::unique_ptr<JackPeer> peer(new JackPeer());
    Jack& jack = *peer->jack_;
    jack_status_t status{};
    // libjack gives its notice thread a second to start: on a loaded machine
    // that can pass, and the open fails though the server is fine.
    for (int attempt = 0; attempt < 3 && jack.client == nullptr; ++attempt) {
        jack.client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    }
    if (jack.client == nullptr) {
        return fail("cannot open JACK client '" + name + "' (status " + std::to_string(status) +
                    "; is the server JACK_DEFAULT_SERVER names running?)");
    }
    peer->clientName_ = jack_get_client_name(jack.client);
    jack.sendQueue = jack_ringbuffer_create(kSendQueueBytes);
    jack.receiveQueue = jack_ringbuffer_create(kReceiveQueueBytes);
    jack.in = jack_port_register(jack.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack.out = jack_port_register(jack.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (jack.sendQueue == nullptr || jack.receiveQueue == nullptr || jack.in == nullptr ||
        jack.out == nullptr) {
        return fail("cannot create the ports of JACK client '" + peer->clientName_ + "'");
    }
    jack_on_shutdown(
        jack.client, [](void* self) { static_cast<Jack*>(self)->shutDown = true; }, &jack);
    jack_set_process_callback(jack.client, &JackPeer::Process, peer.get());
    jack_set_xrun_callback(
        jack.client,
        [](void* self) {
            static_cast<JackPeer*>(self)->xruns_.fetch_add(1);
            return 0;
        },
        peer.get());
    if (jack_activate(jack.client) != 0) {
        return fail("cannot activate JACK client '" + peer->clientName_ + "'");
    }
    if (!Eventually([&] { return peer->maxEventBytes_.load() != 0; }, 10s)) {
        return fail("JACK client '" + peer->clientName_ + "' gets no process cycles");
    }
    return peer;
}

int JackPeer::Process(std::uint32_t frames, void* self) {
    auto* peer = static_cast<JackPeer*>(self);
    Jack& jack = *peer->jack_;

    void* outBuffer = jack_port_get_buffer(jack.out, frames);
    jack_midi_clear_buffer(outBuffer);
    // 16 bytes less than the port says: PipeWire's libjack (0.3.65) writes
    // past its buffer with an event of the full size, and the program dies.
    const std::size_t room = jack_midi_max_event_size(outBuffer);
    peer->maxEventBytes_.store(room > 16 ? room - 16 : 0);
    const jack_nframes_t cycleStart = jack_last_frame_time(jack.client);
    if (jack.missedCycles.Missed(cycleStart, frames)) {
        peer->xruns_.fetch_add(1); // PipeWire sends no xrun notice for it
    }
    std::uint32_t length = 0;
    // PipeWire's libjack drops a whole cycle whose events do not fit its
    // 32 KB control sequence (16 bytes a header, bodies in steps of 8):
    // the peer keeps under it, as players on PipeWire must.
    constexpr std::size_t kCycleCost = 32768 - 64;
    std::size_t cost = 0;
    const jack_nframes_t sendFrame = std::min<jack_nframes_t>(peer->sendFrame_.load(), frames - 1);
    while (PeekEvent(jack.sendQueue, &length)) {
        if (length > peer->maxEventBytes_.load()) { // would never fit
            jack_ringbuffer_read_advance(jack.sendQueue, kHeaderBytes + length);
            peer->lost_.fetch_add(1);
            continue;
        }
        const std::size_t eventCost = 16 + ((std::size_t{length} + 7) & ~std::size_t{7});
        if (jack_midi_max_event_size(outBuffer) < length ||
            (cost > 0 && cost + eventCost > kCycleCost)) {
            break; // the buffer is full: the rest goes next cycle
        }
        cost += eventCost;
        jack_midi_data_t* data = jack_midi_event_reserve(outBuffer, sendFrame, length);
        if (data == nullptr) {
            break;
        }
        jack_ringbuffer_read_advance(jack.sendQueue, kHeaderBytes);
        jack_ringbuffer_read(jack.sendQueue, reinterpret_cast<char*>(data), length);
        peer->lastSentFrame_.store(cycleStart); // the cycle's first frame
    }

    void* inBuffer = jack_port_get_buffer(jack.in, frames);
    const std::uint32_t count = jack_midi_get_event_count(inBuffer);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inBuffer, i) != 0) {
            continue;
        }
        const auto size = static_cast<std::uint32_t>(event.size);
        const std::uint32_t stored = kHeaderBytes + size;
        if (jack_ringbuffer_write_space(jack.receiveQueue) < kHeaderBytes + stored) {
            peer->lost_.fetch_add(1);
            continue;
        }
        const std::uint32_t frame = cycleStart + event.time;
        jack_ringbuffer_write(jack.receiveQueue, reinterpret_cast<const char*>(&stored),
                              kHeaderBytes);
        jack_ringbuffer_write(jack.receiveQueue, reinterpret_cast<const char*>(&frame),
                              kHeaderBytes);
        jack_ringbuffer_write(jack.receiveQueue, reinterpret_cast<const char*>(event.buffer), size);
        if (peer->echo_.load()) { // in the same cycle, as a loopback port does
            const std::uint32_t drop = peer->dropEvery_.load();
            if (drop == 0 || ++peer->echoed_ % drop != 0) {
                jack_midi_event_write(outBuffer, event.time, event.buffer, event.size);
            }
        }
    }
    peer->cycles_.fetch_add(1);
    return 0;
}

bool JackPeer::Send(std::span<const std::uint8_t> event, std::chrono::milliseconds timeout) {
    if (event.empty() || event.size() > maxEventBytes_.load()) {
        return false;
    }
    std::lock_guard lock(sendMutex_);
    const auto size = static_cast<std::uint32_t>(event.size());
    if (!Eventually(
            [&] {
                return jack_->shutDown ||
                       jack_ringbuffer_write_space(jack_->sendQueue) >= kHeaderBytes + size;
            },
            timeout) ||
        jack_->shutDown) {
        return false;
    }
    jack_ringbuffer_write(jack_->sendQueue, reinterpret_cast<const char*>(&size), kHeaderBytes);
    jack_ringbuffer_write(jack_->sendQueue, reinterpret_cast<const char*>(event.data()), size);
    return true;
}

bool JackPeer::WaitSent(std::chrono::milliseconds timeout) {
    if (!Eventually(
            [&] { return jack_->shutDown || jack_ringbuffer_read_space(jack_->sendQueue) == 0; },
            timeout)) {
        return false;
    }
    // Written to the port in the cycle that emptied the queue; delivered by
    // the end of the next.
    return WaitCycles(2, timeout);
}

bool JackPeer::Connect(const std::string& source, const std::string& destination) {
    const int result = jack_connect(jack_->client, source.c_str(), destination.c_str());
    return (result == 0 || result == EEXIST) && WaitConnected(source, destination);
}

bool JackPeer::WaitConnected(const std::string& source, const std::string& destination,
                             std::chrono::milliseconds timeout) {
    const bool connected = Eventually(
        [&] {
            const jack_port_t* port = jack_port_by_name(jack_->client, source.c_str());
            return port != nullptr && jack_port_connected_to(port, destination.c_str()) != 0;
        },
        timeout);
    // The graph takes a new connection in at the start of a cycle; a client
    // that the busy machine runs late may still be a cycle behind.
    constexpr std::uint64_t kSettleCycles = 3;
    return connected && WaitCycles(kSettleCycles, timeout);
}

bool JackPeer::WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) {
    const std::uint64_t target = cycles_.load() + count;
    return Eventually([&] { return jack_->shutDown || cycles_.load() >= target; }, timeout) &&
           !jack_->shutDown;
}

bool JackPeer::Disconnect(const std::string& source, const std::string& destination) {
    return jack_disconnect(jack_->client, source.c_str(), destination.c_str()) == 0;
}

std::vector<std::string> JackPeer::Ports(const std::string& pattern, unsigned long flags) const {
    std::vector<std::string> names;
    const char** ports = jack_get_ports(jack_->client, pattern.empty() ? nullptr : pattern.c_str(),
                                        JACK_DEFAULT_MIDI_TYPE, flags);
    if (ports == nullptr) {
        return names;
    }
    for (const char** p = ports; *p != nullptr; ++p) {
        names.emplace_back(*p);
    }
    jack_free(ports);
    return names;
}

bool JackPeer::WaitForPort(const std::string& fullName, std::chrono::milliseconds timeout) const {
    return Eventually([&] { return jack_port_by_name(jack_->client, fullName.c_str()) != nullptr; },
                      timeout);
}

void JackPeer::Drain() {
    std::uint32_t length = 0;
    while (PeekEvent(jack_->receiveQueue, &length)) {
        jack_ringbuffer_read_advance(jack_->receiveQueue, kHeaderBytes);
        std::uint32_t frame = 0;
        jack_ringbuffer_read(jack_->receiveQueue, reinterpret_cast<char*>(&frame), kHeaderBytes);
        receivedFrames_.push_back(frame);
        length -= kHeaderBytes;
        Event event(length);
        jack_ringbuffer_read(jack_->receiveQueue, reinterpret_cast<char*>(event.data()), length);
        receivedBytes_ += length;
        received_.push_back(std::move(event));
    }
}

std::vector<JackPeer::Event> JackPeer::Received() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    return received_;
}

JackPeer::Event JackPeer::ReceivedBytes() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    Event all;
    all.reserve(receivedBytes_);
    for (const Event& event : received_) {
        all.insert(all.end(), event.begin(), event.end());
    }
    return all;
}

std::vector<std::uint32_t> JackPeer::ReceivedFrames() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    return receivedFrames_;
}

std::uint32_t JackPeer::SampleRate() const {
    return jack_get_sample_rate(jack_->client);
}

std::size_t JackPeer::ReceivedCount() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    return received_.size();
}

std::size_t JackPeer::ReceivedByteCount() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    return receivedBytes_;
}

bool JackPeer::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) {
    return Eventually([&] { return ReceivedCount() >= count; }, timeout);
}

bool JackPeer::WaitForBytes(std::size_t bytes, std::chrono::milliseconds timeout) {
    return Eventually([&] { return ReceivedByteCount() >= bytes; }, timeout);
}

void JackPeer::ClearReceived() {
    std::lock_guard lock(receivedMutex_);
    Drain();
    received_.clear();
    receivedFrames_.clear();
    receivedBytes_ = 0;
}

} // namespace velmora::jacktest
