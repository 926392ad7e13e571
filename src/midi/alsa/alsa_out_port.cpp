#include "midi/alsa/alsa_out_port.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

namespace velmora::midi::alsa {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kSysexStart = 0xF0, kSysexEnd = 0xF7;

void Address(snd_seq_event_t& ev, int port) {
    snd_seq_ev_set_source(&ev, static_cast<unsigned char>(port));
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
}

} // namespace

std::unique_ptr<AlsaOutPort> AlsaOutPort::Open(std::shared_ptr<PortWatch> watch,
                                               std::shared_ptr<PortNames> names,
                                               const std::string& clientBase,
                                               const SeqPort& device) {
    auto lease = std::make_unique<PortNames::Lease>(std::move(names), PortNames::Kind::Out);
    std::string why;
    std::unique_ptr<SeqClient> client = SeqClient::Open(lease->ClientName(clientBase), &why);
    if (!client) {
        return nullptr;
    }
    const int port =
        snd_seq_create_simple_port(client->Handle(), lease->PortName().c_str(),
                                   SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        return nullptr;
    }
    watch->AddOwnClient(client->Id());
    auto gone = watch->FollowDeparture(device.address);
    if (snd_seq_connect_to(client->Handle(), port, device.address.client, device.address.port) <
        0) {
        watch->RemoveOwnClient(client->Id());
        return nullptr;
    }
    return std::unique_ptr<AlsaOutPort>(new AlsaOutPort(std::move(watch), std::move(lease),
                                                        std::move(client), port, std::move(gone)));
}

AlsaOutPort::AlsaOutPort(std::shared_ptr<PortWatch> watch, std::unique_ptr<PortNames::Lease> lease,
                         std::unique_ptr<SeqClient> client, int port,
                         std::shared_ptr<std::atomic<bool>> gone)
    : watch_(std::move(watch)), lease_(std::move(lease)), client_(std::move(client)), port_(port),
      gone_(std::move(gone)) {
    snd_midi_event_new(16, &shortEncoder_);
    snd_midi_event_new(16, &streamEncoder_);
}

AlsaOutPort::~AlsaOutPort() {
    Close();
    if (shortEncoder_ != nullptr) {
        snd_midi_event_free(shortEncoder_);
    }
    if (streamEncoder_ != nullptr) {
        snd_midi_event_free(streamEncoder_);
    }
}

// Follows the port's connections through Midi Through to where its events
// are taken in. Asked at each send: connections change.
AlsaOutPort::Receivers AlsaOutPort::FindReceivers() const {
    Receivers found;
    std::vector<SeqAddress> next = client_->Subscribers({client_->Id(), port_});
    std::vector<SeqAddress> seen;
    while (!next.empty()) {
        const SeqAddress at = next.back();
        next.pop_back();
        if (std::find(seen.begin(), seen.end(), at) != seen.end()) {
            continue;
        }
        seen.push_back(at);
        const std::optional<SeqPort> port = client_->Port(at);
        if (!port) {
            continue;
        }
        if (port->PassesThrough()) {
            for (const SeqAddress& fed : client_->Subscribers(at)) {
                next.push_back(fed);
            }
        } else if (!port->kernelClient) {
            if (std::find(found.programs.begin(), found.programs.end(), at.client) ==
                found.programs.end()) {
                found.programs.push_back(at.client);
            }
        } else if (port->RawMidi()) {
            ((port->type & SND_SEQ_PORT_TYPE_HARDWARE) != 0 ? found.cable : found.softwareRaw) =
                true;
        }
    }
    return found;
}

const AlsaOutPort::Receivers& AlsaOutPort::KnownReceivers() {
    const std::uint64_t now = watch_->Connections();
    if (knownAt_ != now) {
        known_ = FindReceivers();
        knownAt_ = now;
    }
    return known_;
}

bool AlsaOutPort::WaitForRoom(std::size_t n, const Receivers& receivers,
                              Clock::time_point deadline) {
    const int cells = CellsFor(n);
    while (true) {
        if (Gone() || closing_.load(std::memory_order_acquire)) {
            return false;
        }
        const Clock::time_point now = Clock::now();
        Clock::duration wait = Clock::duration::zero();
        if (receivers.cable) {
            wait = std::max(wait, cablePace_.WaitFor(n, now));
        }
        if (receivers.softwareRaw) {
            wait = std::max(wait, softwarePace_.WaitFor(n, now));
        }
        bool room = true;
        for (const int program : receivers.programs) {
            const std::optional<int> free = client_->InputPoolFree(program);
            room = room && (!free || *free >= cells);
        }
        if (wait == Clock::duration::zero() && room) {
            return true;
        }
        if (now >= deadline) {
            return false;
        }
        // The sender's own thread, never a real-time one, may sleep.
        std::this_thread::sleep_for(
            room ? std::min<Clock::duration>(wait, std::chrono::milliseconds(5))
                 : std::chrono::microseconds(500));
    }
}

bool AlsaOutPort::Write(snd_seq_event_t& ev, std::size_t bytes, const Receivers& receivers,
                        Clock::duration limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (true) {
        if (!WaitForRoom(bytes, receivers, deadline)) {
            return false;
        }
        const int written = snd_seq_event_output_direct(client_->Handle(), &ev);
        if (written >= 0) {
            const Clock::time_point now = Clock::now();
            cablePace_.Took(bytes, now);
            softwarePace_.Took(bytes, now);
            return true;
        }
        // -EAGAIN: a receiver's pool filled up after it was asked (another
        // sender): again, once it has room. Anything else (-ENOMEM: larger
        // than the receiver's whole pool; the device left) fails.
        if (written != -EAGAIN || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

bool AlsaOutPort::SendShortLocked(std::span<const std::uint8_t> bytes) {
    if (!client_ || Gone() || shortEncoder_ == nullptr) {
        return false;
    }
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_midi_event_reset_encode(shortEncoder_);
    const long used =
        snd_midi_event_encode(shortEncoder_, bytes.data(), static_cast<long>(bytes.size()), &ev);
    if (used <= 0 || ev.type == SND_SEQ_EVENT_NONE) {
        return false; // not a whole message
    }
    Address(ev, port_);
    return Write(ev, bytes.size(), KnownReceivers(), kShortStallLimit);
}

bool AlsaOutPort::SendShort(ShortMessage message) {
    const std::array<std::uint8_t, 3> bytes{StatusOf(message), Data1Of(message), Data2Of(message)};
    const auto length = static_cast<std::size_t>(ShortMessageBytes(bytes[0]));
    if (length == 0) {
        return false;
    }
    std::lock_guard lock(mutex_);
    return SendShortLocked(std::span(bytes).first(length));
}

bool AlsaOutPort::SendLong(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (!client_ || Gone() || bytes.empty() || streamEncoder_ == nullptr) {
        return false;
    }
    const Receivers receivers = FindReceivers();
    while (!bytes.empty()) {
        if (inSysex_ || bytes.front() == kSysexStart) {
            // A piece of sysex: up to its F7, at most a piece's length.
            inSysex_ = true;
            const auto end = std::find(bytes.begin(), bytes.end(), kSysexEnd);
            std::size_t n = end == bytes.end() ? bytes.size()
                                               : static_cast<std::size_t>(end - bytes.begin()) + 1;
            n = std::min(n, kSysexPieceBytes);
            snd_seq_event_t ev;
            snd_seq_ev_clear(&ev);
            snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(n),
                                 const_cast<std::uint8_t*>(bytes.data()));
            Address(ev, port_);
            if (!Write(ev, n, receivers, kStallLimit)) {
                return false;
            }
            if (bytes[n - 1] == kSysexEnd) {
                inSysex_ = false;
                snd_midi_event_reset_encode(streamEncoder_);
            }
            bytes = bytes.subspan(n);
            continue;
        }
        // Anything else goes through the sequencer's MIDI byte encoder.
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        if (snd_midi_event_encode_byte(streamEncoder_, bytes.front(), &ev) == 1) {
            Address(ev, port_);
            if (!Write(ev, 3, receivers, kStallLimit)) {
                return false;
            }
        }
        bytes = bytes.subspan(1);
    }
    return true;
}

// Ends what the receiver may still sound: the sustain pedal up and All Notes
// Off on every channel. Sending is best effort; a reset of an open port
// succeeds.
bool AlsaOutPort::Reset() {
    std::lock_guard lock(mutex_);
    if (!client_) {
        return false;
    }
    inSysex_ = false;
    if (streamEncoder_ != nullptr) {
        snd_midi_event_reset_encode(streamEncoder_);
    }
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t status = 0xB0 | channel;
        SendShortLocked(std::array<std::uint8_t, 3>{status, 64, 0});
        SendShortLocked(std::array<std::uint8_t, 3>{status, 123, 0});
    }
    return true;
}

bool AlsaOutPort::Close() {
    closing_.store(true, std::memory_order_release); // a send waiting now ends soon
    std::unique_ptr<SeqClient> client;
    {
        std::lock_guard lock(mutex_);
        client = std::move(client_);
    }
    if (!client) {
        return false;
    }
    // Direct events were delivered when their write returned: nothing waits.
    watch_->RemoveOwnClient(client->Id());
    client.reset();
    lease_.reset(); // the port name is free again
    return true;
}

} // namespace velmora::midi::alsa
