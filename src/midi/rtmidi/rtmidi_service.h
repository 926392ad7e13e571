// The MIDI service on RtMidi: the ALSA sequencer or a running JACK server on
// Linux (CoreMIDI, WinMM elsewhere). Devices are the ports RtMidi lists, in
// its order, by their UTF-8 names; a device number is only a position in
// that list, so opening goes by the name the number had.
//
// Every open port is its own RtMidi client, so under JACK each is its own
// JACK client with one port. With the default client name "Velmora":
//   input ports       client "Velmora in",  port "in"   (then "Velmora in 2"
//                     with port "in 2", ...)
//   output ports      client "Velmora out", port "out"  (then "Velmora out 2"
//                     with port "out 2", ... one per output open at once)
//   device listing    clients "Velmora list in", "Velmora list out", no ports
//                     (ALSA, CoreMIDI, WinMM)
//   JACK cycles       client "Velmora watch", no ports, never activated; it
//                     also lists the devices under JACK
// so the full JACK names are "Velmora in:in", "Velmora out:out",
// "Velmora out 2:out 2". A closed port's name is free again. (JACK appends
// "-01" to a client name already taken, for instance by a second Velmora.)
// Velmora's own input port (OpenVirtualIn, "Velmora Monitor" in the window)
// is a client of that name with one port of the same name, so
// "Velmora Monitor:Velmora Monitor" under JACK (a second Velmora's
// "Velmora Monitor-01:Velmora Monitor") and under ALSA
// "Velmora Monitor:Velmora Monitor 130:0"; other programs list it among
// their outputs.
// These ports never show in the device lists: passing Velmora's output to
// its own input would only make a feedback loop. That holds for every
// Velmora's ports, and for own input ports under any name while open.
//
// JACK: the service never starts a server. Outputs pass every block of a
// long message on as it comes, at most three 4 KB blocks per server cycle
// (more would overrun RtMidi's queue and port buffer). When the server goes
// away, sends fail, the device lists are empty and ports still close; a new
// JACK service may be created once this one and all its ports are gone.
//
// Other backends take only whole sysex messages: the blocks of one are held
// and sent together when its F7 comes (SysexAssembler).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace velmora::midi {

inline constexpr const char* kRtMidiClientName = "Velmora";

class RtMidiService final : public MidiService {
  public:
    struct State; // the RtMidi objects that list the devices, and the port names in use
    explicit RtMidiService(std::unique_ptr<State> state);
    ~RtMidiService() override;

    RtMidiService(const RtMidiService&) = delete;
    RtMidiService& operator=(const RtMidiService&) = delete;

    std::string Name() const override; // "alsa", "jack", ...
    int OutDeviceCount() override;
    std::optional<std::string> OutDeviceName(int device) override;
    int InDeviceCount() override;
    std::optional<std::string> InDeviceName(int device) override;
    std::unique_ptr<MidiOutPort> OpenOut(const std::string& name) override;
    std::unique_ptr<MidiInPort> OpenIn(const std::string& name, InputCallback callback) override;
    bool HasVirtualIn() const override;
    std::unique_ptr<MidiInPort> OpenVirtualIn(const std::string& name,
                                              InputCallback callback) override;
    using MidiService::OpenIn;
    using MidiService::OpenOut;
    bool Running() const override;
    // JACK: the connections of every MIDI port, each client passing on
    // (a client with physical ports is hardware: Unknown). ALSA: the
    // subscribers of every port, Midi Through and programs passing on, the
    // kernel's other clients hardware. Velmora's own ports count as one
    // client. Elsewhere Unknown.
    WayBack WayBackBetween(const std::string& outDevice, const std::string& inDevice) override;

  private:
    std::vector<std::string> Listed(bool output);

    std::unique_ptr<State> state_;
};

// `api`: "alsa", "jack" (or another API RtMidi was built with, by its RtMidi
// name), or "" for the first that works: the ALSA sequencer, then a running
// JACK server. nullptr, with the reason in *error, when none can be used.
// `clientName` is the base of the client names above.
// True for a port name that one of Velmora's own clients with this base
// name registered ("Velmora in:in", "Velmora out 2-01:out 2", under ALSA
// with the numbers behind: "Velmora out:out 130:0"), and the window's own
// input port of any Velmora ("Velmora Monitor-01:Velmora Monitor").
bool IsOwnPortName(const std::string& name, const std::string& clientBase = kRtMidiClientName);
// True for a port of the client `client` as listed: "client:...", or with
// the "-NN" JACK gives a second client of that name.
bool IsPortOfClient(const std::string& name, const std::string& client);
// The name of the window's own input port: "Velmora Monitor".
std::string OwnInputName(const std::string& clientBase = kRtMidiClientName);

std::unique_ptr<MidiService> CreateRtMidiService(const std::string& api, std::string* error,
                                                 const std::string& clientName = kRtMidiClientName);

} // namespace velmora::midi
