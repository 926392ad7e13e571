#include "midi/alsa/alsa_service.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/midi_graph.h"
#include "midi/alsa/alsa_in_port.h"
#include "midi/alsa/alsa_out_port.h"
#include "midi/alsa/port_watch.h"
#include "midi/port_names.h"
#include "midi/rtmidi/rtmidi_service.h"

namespace velmora::midi {

namespace {

using alsa::SeqPort;

class AlsaService final : public MidiService {
  public:
    AlsaService(std::shared_ptr<alsa::PortWatch> watch, std::string clientBase)
        : watch_(std::move(watch)), clientBase_(std::move(clientBase)) {}

    std::string Name() const override { return "alsa"; }

    int OutDeviceCount() override { return static_cast<int>(Listed(true).size()); }
    std::optional<std::string> OutDeviceName(int device) override {
        return NameAt(Listed(true), device);
    }
    int InDeviceCount() override { return static_cast<int>(Listed(false).size()); }
    std::optional<std::string> InDeviceName(int device) override {
        return NameAt(Listed(false), device);
    }

    std::unique_ptr<MidiOutPort> OpenOut(const std::string& name) override {
        const std::optional<SeqPort> device = Find(name, true);
        if (!device) {
            return nullptr;
        }
        return alsa::AlsaOutPort::Open(watch_, names_, clientBase_, *device);
    }
    std::unique_ptr<MidiInPort> OpenIn(const std::string& name, InputCallback callback) override {
        const std::optional<SeqPort> device = Find(name, false);
        if (!device) {
            return nullptr;
        }
        return alsa::AlsaInPort::Open(watch_, names_, clientBase_, *device, std::move(callback));
    }
    using MidiService::OpenIn;
    using MidiService::OpenOut;

    bool HasVirtualIn() const override { return true; }
    std::unique_ptr<MidiInPort> OpenVirtualIn(const std::string& name,
                                              InputCallback callback) override {
        if (name.empty()) {
            return nullptr;
        }
        return alsa::AlsaInPort::OpenOwn(watch_, name, std::move(callback));
    }

    bool Running() const override { return watch_->Running(); }
    // The lists come from the watch, which the sequencer's announcements keep.
    std::optional<std::uint64_t> DeviceListChanges() const override { return watch_->Changes(); }

    // Follows the subscriptions from the output device: what "Midi Through"
    // receives it passes on to its subscribers; any other port may echo.
    WayBack WayBackBetween(const std::string& outDevice, const std::string& inDevice) override {
        const std::optional<SeqPort> out = Find(outDevice, true);
        const std::optional<SeqPort> in = Find(inDevice, false);
        if (!out || !in) {
            return WayBack::Unknown;
        }
        // Each port's receiving side is its address, its sending side the
        // address and " >". A "Midi Through" port passes on to its own
        // subscribers only; every other port may emit anything (a device,
        // a program, a cable back), so it is Outside.
        const auto id = [](alsa::SeqAddress a) {
            return std::to_string(a.client) + ":" + std::to_string(a.port);
        };
        MidiGraph graph;
        const std::vector<SeqPort> ports = watch_->Ports();
        for (const SeqPort& port : ports) {
            const std::string node = "port " + id(port.address);
            graph.ports.push_back({id(port.address), node, false});
            graph.ports.push_back({id(port.address) + " >", node, true});
            if (!port.PassesThrough()) {
                graph.nodes[node] = MidiGraph::Node::Outside;
            }
        }
        watch_->Ask([&](const alsa::SeqClient& client) {
            for (const SeqPort& port : ports) {
                for (const alsa::SeqAddress& fed : client.Subscribers(port.address)) {
                    graph.connections.emplace_back(id(port.address) + " >", id(fed));
                }
            }
            return 0;
        });
        return FindWayBack(graph, {id(out->address)}, {id(in->address) + " >"});
    }

  private:
    bool IsOwn(const SeqPort& port) const {
        return watch_->IsOwnClient(port.address.client) ||
               IsOwnPortName(port.ListedName(), clientBase_);
    }

    std::vector<SeqPort> ListedPorts(bool output) const {
        std::vector<SeqPort> ports = watch_->Ports();
        std::erase_if(ports, [&](const SeqPort& p) {
            return (output ? !p.Writable() : !p.Readable()) || IsOwn(p);
        });
        return ports;
    }

    std::vector<std::string> Listed(bool output) const {
        std::vector<std::string> names;
        for (const SeqPort& port : ListedPorts(output)) {
            names.push_back(port.ListedName());
        }
        return names;
    }

    std::optional<SeqPort> Find(const std::string& name, bool output) const {
        for (const SeqPort& port : ListedPorts(output)) {
            if (port.ListedName() == name) {
                return port;
            }
        }
        return std::nullopt;
    }

    static std::optional<std::string> NameAt(const std::vector<std::string>& names, int device) {
        if (device < 0 || device >= static_cast<int>(names.size())) {
            return std::nullopt;
        }
        return names[static_cast<std::size_t>(device)];
    }

    std::shared_ptr<alsa::PortWatch> watch_;
    std::string clientBase_;
    std::shared_ptr<PortNames> names_ = std::make_shared<PortNames>();
};

} // namespace

std::unique_ptr<MidiService> CreateAlsaService(std::string* error, const std::string& clientBase) {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        if (error != nullptr) {
            *error = std::string("no ALSA sequencer (/dev/snd/seq: ") + std::strerror(errno) + ")";
        }
        return nullptr;
    }
    std::string why;
    auto watch = alsa::PortWatch::Start(clientBase + " list", &why);
    if (!watch) {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    }
    return std::make_unique<AlsaService>(std::move(watch), clientBase);
}

} // namespace velmora::midi
