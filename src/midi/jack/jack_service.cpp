#include "midi/jack/jack_service.h"

#include <jack/jack.h>

#include <mutex>
#include <set>

#include "midi/jack/jack_client.h"
#include "midi/jack/jack_graph.h"
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

std::optional<std::uint64_t> JackService::DeviceListChanges() const {
    return client_->GraphVersion();
}

std::uint64_t JackService::LateCycles() const {
    return client_->LateCycles();
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
    const std::vector<std::string> ports =
        client_
            ->Ask([](jack_client_t* handle) {
                return TakeNames(jack_get_ports(handle, nullptr, nullptr, 0));
            })
            .value_or(std::vector<std::string>{});
    std::set<std::string> taken;
    for (const std::string& port : ports) {
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
    return client_
        ->Ask([name, output](jack_client_t* handle) {
            jack_port_t* port = jack_port_by_name(handle, name.c_str());
            return port != nullptr &&
                   (jack_port_flags(port) & (output ? JackPortIsInput : JackPortIsOutput)) != 0 &&
                   std::string(jack_port_type(port)) == JACK_DEFAULT_MIDI_TYPE;
        })
        .value_or(false);
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
        std::optional<MidiGraph> read = client_->Ask(&ReadJackGraph);
        if (!read) {
            return WayBack::Unknown;
        }
        MidiGraph graph = std::move(*read);
        // Velmora's own client passes nothing on by itself: its thru is what
        // the loop guard watches. Its own input counts as reached, whatever
        // reaches it.
        const std::string own = client_->Name();
        graph.nodes[own] = MidiGraph::Node::Sink;
        std::vector<std::string> to;
        bool outListed = false;
        for (const MidiGraph::Port& port : graph.ports) {
            if (port.sends && port.name == inDevice) {
                to.push_back(port.name);
            } else if (!port.sends && port.name == outDevice) {
                outListed = true;
            } else if (!port.sends && port.node == own && ShortNameOf(port.name) == inDevice) {
                to.push_back(port.name);
            }
        }
        if (!outListed || to.empty()) {
            return WayBack::Unknown; // not in the graph as listed: can't tell
        }
        return FindWayBack(graph, {outDevice}, to);
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
