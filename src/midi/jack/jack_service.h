// The MIDI service on a running JACK server, through libjack itself. The
// devices are the other clients' MIDI ports, "client:port", in the server's
// order; Velmora's own ports are never listed.
//
// Names. Every port Velmora opens belongs to ONE client, "Velmora" (a second
// Velmora running at once gets "Velmora-01", then "Velmora-02", ...: the
// number is Velmora's own choice, never one the server makes up):
//   input ports       "in", "in 2", ...    so "Velmora:in", "Velmora:in 2"
//   output ports      "out", "out 2", ...  so "Velmora:out", "Velmora:out 2"
//   own input port    "Velmora Monitor" (or the name given to --virtual),
//                     so "Velmora:Velmora Monitor"; when a Velmora already
//                     has a port of that name, "NAME-01", "NAME-02", ...
//                     ("Velmora-01:Velmora Monitor-01")
// A closed port's name is free again.
//
// The client is activated when the service starts, so the server's
// shutdown reaches it on jackd and on PipeWire: from then on Running() is
// false, every port's Gone() is true, sends fail and the lists are empty.
//
// Outputs: a long message goes as ONE event when the port takes it
// (jack_midi_max_event_size less 16 bytes, see jack_ports.cpp), else in
// pieces of that size, and every cycle
// writes at most JackCycleBudget (jack_ports.h) to a port, so no server drops
// a cycle; what waits is kept for the next cycle. UnsentBytes() waits until
// the cycles have written what was handed over, and counts what they could
// not. Inputs pass every event to the program's queue without blocking and
// count what did not fit. A device whose port leaves and comes back (a
// restarted synth, a replugged interface) is connected again. Thru from an
// input to an output of this service is passed in the process cycle itself,
// in the cycle a message comes in (JackOutPort::PassThruInCycle).
#pragma once

#include <memory>
#include <string>

#include "midi/midi_service.h"

namespace velmora::midi {

class JackClient;

class JackService final : public MidiService {
  public:
    JackService(std::shared_ptr<JackClient> client, std::string base);
    ~JackService() override;

    std::string Name() const override { return "jack"; }
    int OutDeviceCount() override;
    std::optional<std::string> OutDeviceName(int device) override;
    int InDeviceCount() override;
    std::optional<std::string> InDeviceName(int device) override;
    std::unique_ptr<MidiOutPort> OpenOut(const std::string& name) override;
    std::unique_ptr<MidiInPort> OpenIn(const std::string& name, InputCallback callback) override;
    bool HasVirtualIn() const override { return true; }
    std::unique_ptr<MidiInPort> OpenVirtualIn(const std::string& name,
                                              InputCallback callback) override;
    using MidiService::OpenIn;
    using MidiService::OpenOut;
    bool Running() const override;
    // The server's registration callbacks count every port and client.
    std::optional<std::uint64_t> DeviceListChanges() const override;
    std::uint64_t LateCycles() const override;
    WayBack WayBackBetween(const std::string& outDevice, const std::string& inDevice) override;

    // The client's name: "Velmora", or "Velmora-01" and so on.
    std::string ClientName() const;

  private:
    std::vector<std::string> Listed(bool output) const;
    bool IsOurs(const std::string& port) const;
    bool Offers(const std::string& name, bool output) const;
    std::string FreePortName(const std::string& base, bool numbered) const;

    std::shared_ptr<JackClient> client_;
    std::string base_;
};

// nullptr, with the reason in *error, when no JACK server runs.
std::unique_ptr<MidiService> CreateJackService(std::string* error,
                                               const std::string& clientName = "Velmora");

} // namespace velmora::midi
