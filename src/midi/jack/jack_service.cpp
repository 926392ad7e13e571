#include "midi/jack/jack_service.h"

#include <jack/jack.h>

#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "midi/jack/jack_client.h"
#include "midi/jack/jack_ports.h"
#include "midi/rtmidi/rtmidi_service.h"

namespace velmora::midi {

namespace {

// Opening ports one at a time keeps the free name found the one registered.
std::mutex& OpenMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string ClientOf(const std::string& port) {
    return port.substr(0, port.find(':'));
}

std::string ShortNameOf(const std::string& port) {
    const std::size_t colon = port.find(':');
    return colon == std::string::npos ? port : port.substr(colon + 1);
}

std::vector<std::string> TakeNames(const char** ports) {
    std::vector<std::string> names;
    if (ports != nullptr) {
        for (const char** port = ports; *port != nullptr; ++port) {
            names.emplace_back(*port);
        }
        jack_free(static_cast<void*>(ports));
    }
    return names;
}

// Whether a client reachable from `from` along MIDI connections is `to`:
// `sends` gives, for a client, the clients its MIDI outputs are connected
// to. Clients in `skip` pass nothing on (Velmora's own: its thru is watched
// by the loop guard).
template <typename Sends>
bool Reaches(const std::string& from, const std::string& to, const std::set<std::string>& skip,
             const Sends& sends) {
    std::set<std::string> seen{from};
    std::deque<std::string> next{from};
    while (!next.empty()) {
        const std::string client = next.front();
        next.pop_front();
        if (client == to) {
            return true;
        }
        for (const std::string& reached : sends(client)) {
            if (!skip.contains(reached) && seen.insert(reached).second) {
                next.push_back(reached);
            }
        }
    }
    return false;
}

} // namespace

JackService::JackService(std::shared_ptr<JackClient> client, std::string base)
    : client_(std::move(client)), base_(std::move(base)) {}

JackService::~JackService() = default;

std::string JackService::ClientName() const {
    return client_->Name();
}

bool JackService::Running() const {
    return client_->Running();
}

bool JackService::IsOurs(const std::string& port) const {
    // Every Velmora's ports (this one's, a second one's "Velmora-01:..."),
    // and those of a Velmora on RtMidi ("Velmora in:in", "Velmora Monitor").
    return IsPortOfClient(port, base_) || IsPortOfClient(port, client_->Name()) ||
           IsOwnPortName(port, base_);
}

std::vector<std::string> JackService::Listed(bool output) const {
    std::vector<std::string> names = client_->MidiPorts(output);
    std::erase_if(names, [this](const std::string& name) { return IsOurs(name); });
    return names;
}

namespace {
std::optional<std::string> NameAt(const std::vector<std::string>& names, int device) {
    if (device < 0 || device >= static_cast<int>(names.size())) {
        return std::nullopt;
    }
    return names[static_cast<std::size_t>(device)];
}
} // namespace

int JackService::OutDeviceCount() {
    return static_cast<int>(Listed(true).size());
}

std::optional<std::string> JackService::OutDeviceName(int device) {
    return NameAt(Listed(true), device);
}

int JackService::InDeviceCount() {
    return static_cast<int>(Listed(false).size());
}

std::optional<std::string> JackService::InDeviceName(int device) {
    return NameAt(Listed(false), device);
}

// "in", "in 2", ... free in this client; or (`numbered` false) `base`,
// "base-01", ... free among every Velmora's ports.
std::string JackService::FreePortName(const std::string& base, bool numbered) const {
    jack_client_t* handle = client_->Handle();
    std::set<std::string> taken;
    for (const std::string& port : TakeNames(jack_get_ports(handle, nullptr, nullptr, 0))) {
        if (numbered ? ClientOf(port) == client_->Name() : IsPortOfClient(port, base_)) {
            taken.insert(ShortNameOf(port));
        }
    }
    for (int n = 1;; ++n) {
        std::string candidate = base;
        if (n > 1 && numbered) {
            candidate += " " + std::to_string(n);
        } else if (n > 1) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "-%02d", n - 1);
            candidate += suffix;
        }
        if (!taken.contains(candidate)) {
            return candidate;
        }
    }
}

// A device that other clients' ports show now, in the direction wanted.
bool JackService::Offers(const std::string& name, bool output) const {
    jack_port_t* port = jack_port_by_name(client_->Handle(), name.c_str());
    return port != nullptr &&
           (jack_port_flags(port) & (output ? JackPortIsInput : JackPortIsOutput)) != 0 &&
           std::string(jack_port_type(port)) == JACK_DEFAULT_MIDI_TYPE;
}

std::unique_ptr<MidiOutPort> JackService::OpenOut(const std::string& name) {
    try {
        if (!Running() || name.empty() || IsOurs(name) || !Offers(name, true)) {
            return nullptr;
        }
        std::lock_guard lock(OpenMutex());
        auto port = std::make_unique<JackOutPort>(client_, FreePortName("out", true), name);
        return port->Ok() ? std::move(port) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<MidiInPort> JackService::OpenIn(const std::string& name, InputCallback callback) {
    try {
        if (!Running() || name.empty() || IsOurs(name) || !Offers(name, false)) {
            return nullptr;
        }
        std::lock_guard lock(OpenMutex());
        auto port = std::make_unique<JackInPort>(std::move(callback), client_,
                                                 FreePortName("in", true), name);
        return port->Ok() ? std::move(port) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<MidiInPort> JackService::OpenVirtualIn(const std::string& name,
                                                       InputCallback callback) {
    try {
        if (!Running() || name.empty() || name.find(':') != std::string::npos) {
            return nullptr;
        }
        std::lock_guard lock(OpenMutex());
        auto port = std::make_unique<JackInPort>(std::move(callback), client_,
                                                 FreePortName(name, false), std::string());
        return port->Ok() ? std::move(port) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

MidiService::WayBack JackService::WayBackBetween(const std::string& outDevice,
                                                 const std::string& inDevice) {
    if (!Running()) {
        return WayBack::Unknown;
    }
    try {
        jack_client_t* handle = client_->Handle();
        jack_port_t* out = jack_port_by_name(handle, outDevice.c_str());
        jack_port_t* in = jack_port_by_name(handle, inDevice.c_str());
        if (out == nullptr || in == nullptr) {
            return WayBack::Unknown;
        }
        // Each client's MIDI outputs, and where they are connected.
        std::map<std::string, std::vector<std::string>> outputsOf;
        for (std::string& port : client_->MidiPorts(false)) {
            outputsOf[ClientOf(port)].push_back(std::move(port));
        }
        const auto sends = [&](const std::string& client) {
            std::vector<std::string> reached;
            for (const std::string& port : outputsOf[client]) {
                jack_port_t* p = jack_port_by_name(handle, port.c_str());
                if (p == nullptr) {
                    continue;
                }
                for (const std::string& to : TakeNames(jack_port_get_all_connections(handle, p))) {
                    reached.push_back(ClientOf(to));
                }
            }
            return reached;
        };
        if (Reaches(ClientOf(outDevice), ClientOf(inDevice), {client_->Name()}, sends)) {
            return WayBack::Possible;
        }
        // Hardware may echo what it gets (a synth's MIDI thru): no graph shows it.
        const bool physical = (jack_port_flags(out) & JackPortIsPhysical) != 0 ||
                              (jack_port_flags(in) & JackPortIsPhysical) != 0;
        return physical ? WayBack::Unknown : WayBack::None;
    } catch (...) {
        return WayBack::Unknown;
    }
}

std::unique_ptr<MidiService> CreateJackService(std::string* error, const std::string& clientName) {
    std::string why;
    try {
        if (auto client = JackClient::Open(clientName, &why)) {
            return std::make_unique<JackService>(std::move(client), clientName);
        }
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (error != nullptr) {
        *error = "no MIDI service could be opened (jack: " + why + ")";
    }
    return nullptr;
}

} // namespace velmora::midi
