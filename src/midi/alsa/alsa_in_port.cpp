#include "midi/alsa/alsa_in_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace velmora::midi::alsa {

namespace {

constexpr unsigned kInputCaps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kInputType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
// How often an idle input asks the sequencer whether it dropped anything.
constexpr int kOverrunCheckMs = 250;

} // namespace

std::unique_ptr<AlsaInPort> AlsaInPort::Open(std::shared_ptr<PortWatch> watch,
                                             std::shared_ptr<PortNames> names,
                                             const std::string& clientBase, const SeqPort& device,
                                             InputCallback callback) {
    auto lease = std::make_unique<PortNames::Lease>(std::move(names), PortNames::Kind::In);
    std::string why;
    std::unique_ptr<SeqClient> client = SeqClient::Open(lease->ClientName(clientBase), &why);
    if (!client) {
        return nullptr;
    }
    std::unique_ptr<AlsaInPort> port(new AlsaInPort(std::move(callback), watch));
    port->gone_ = watch->FollowDeparture(device.address);
    const std::string portName = lease->PortName();
    port->lease_ = std::move(lease);
    if (!port->Begin(std::move(client), portName, &device.address)) {
        return nullptr;
    }
    return port;
}

std::unique_ptr<AlsaInPort> AlsaInPort::OpenOwn(std::shared_ptr<PortWatch> watch,
                                                const std::string& name, InputCallback callback) {
    std::string why;
    std::unique_ptr<SeqClient> client = SeqClient::Open(name, &why);
    if (!client) {
        return nullptr;
    }
    std::unique_ptr<AlsaInPort> port(new AlsaInPort(std::move(callback), std::move(watch)));
    if (!port->Begin(std::move(client), name, nullptr)) {
        return nullptr;
    }
    return port;
}

AlsaInPort::AlsaInPort(InputCallback callback, std::shared_ptr<PortWatch> watch)
    : QueuedMidiIn(std::move(callback)), watch_(std::move(watch)) {}

AlsaInPort::~AlsaInPort() {
    StopProducer();
    StopDelivery({}); // before the members the callback may still use go away
    if (decoder_ != nullptr) {
        snd_midi_event_free(decoder_);
    }
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

bool AlsaInPort::Begin(std::unique_ptr<SeqClient> client, const std::string& portName,
                       const SeqAddress* device) {
    const int port =
        snd_seq_create_simple_port(client->Handle(), portName.c_str(), kInputCaps, kInputType);
    if (port < 0 || snd_midi_event_new(16, &decoder_) < 0) {
        return false;
    }
    snd_midi_event_no_status(decoder_, 1); // every message with its status byte
    watch_->AddOwnClient(client->Id());
    if (device != nullptr &&
        snd_seq_connect_from(client->Handle(), port, device->client, device->port) < 0) {
        watch_->RemoveOwnClient(client->Id());
        return false;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        watch_->RemoveOwnClient(client->Id());
        return false;
    }
    client_ = std::move(client);
    reader_ = std::thread([this] { ReadLoop(); });
    return true;
}

std::uint64_t AlsaInPort::LostEvents() const {
    return QueuedMidiIn::LostEvents() + overruns_.load(std::memory_order_relaxed) +
           joinLost_.load(std::memory_order_relaxed);
}

// Ends the reading thread, then the client: the device's events stop, and
// the port's name is free again.
void AlsaInPort::StopProducer() {
    std::lock_guard lock(closeMutex_);
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        reader_.join();
    }
    if (client_) {
        watch_->RemoveOwnClient(client_->Id());
        client_.reset();
    }
    lease_.reset();
}

// The reading thread. Everything it needs was made before it started.
void AlsaInPort::ReadLoop() {
    snd_seq_t* seq = client_->Handle();
    std::array<pollfd, 8> fds{};
    const int count = snd_seq_poll_descriptors(seq, fds.data(), fds.size() - 1, POLLIN);
    const auto n = static_cast<std::size_t>(count < 0 ? 0 : count);
    fds[n] = {wakeFd_, POLLIN, 0};
    while (true) {
        // The sequencer says that it dropped events only when it is read, and
        // poll() does not wake for a drop alone: an event too large for the
        // pool, or the last piece of a dump, leaves nothing to read. So it is
        // read now and then even though nothing more comes, and a loss at
        // the end of a transfer is counted while `record` still waits.
        if (poll(fds.data(), n + 1, kOverrunCheckMs) < 0 && errno != EINTR) {
            return;
        }
        if (fds[n].revents != 0) {
            return;
        }
        const WakeBatch batch(*this); // the delivery thread takes what this read brings together
        while (true) {
            snd_seq_event_t* ev = nullptr;
            const int got = snd_seq_event_input(seq, &ev);
            if (got == -EAGAIN) {
                break;
            }
            if (got == -ENOSPC) {
                // The sequencer dropped events, and with them all it held
                // for this client: a sysex message being joined is cut.
                overruns_.fetch_add(1, std::memory_order_relaxed);
                joinLost_.fetch_add(joiner_.Abandon(), std::memory_order_relaxed);
                continue;
            }
            if (got < 0) {
                break;
            }
            Take(*ev);
        }
    }
}

void AlsaInPort::Take(const snd_seq_event_t& ev) {
    if (ev.type == SND_SEQ_EVENT_SYSEX) {
        const std::span<const std::uint8_t> piece(static_cast<const std::uint8_t*>(ev.data.ext.ptr),
                                                  ev.data.ext.len);
        const std::size_t lost =
            joiner_.Add(piece, [this](std::span<const std::uint8_t> message) { Enqueue(message); });
        if (lost > 0) {
            joinLost_.fetch_add(lost, std::memory_order_relaxed);
        }
        return;
    }
    std::array<unsigned char, 16> bytes{};
    const long length = snd_midi_event_decode(decoder_, bytes.data(), bytes.size(), &ev);
    if (length > 0) {
        Enqueue(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(length)));
    }
}

} // namespace velmora::midi::alsa
