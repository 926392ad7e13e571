// The MIDI service on RtMidi: the ALSA sequencer or a running JACK server on
// Linux (CoreMIDI, WinMM elsewhere). Devices are the ports RtMidi lists, in
// its order, by their UTF-8 names.
//
// Every open port is its own RtMidi client, so under JACK each is its own
// JACK client with one port. With the default client name "Velmora":
//   input ports       client "Velmora in",  port "in"   (then "in 2", ...)
//   output ports      client "Velmora out", port "out"  (then "Velmora out 2"
//                     with port "out 2", ... one per output open at once)
//   device listing    clients "Velmora list in" and "Velmora list out", no ports
// so the full JACK names are "Velmora in:in", "Velmora out:out",
// "Velmora out 2:out 2". (JACK appends "-01" to a client name already taken,
// for instance by a second running Velmora.) The service never starts a JACK
// server.
#pragma once

#include <memory>
#include <string>

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
    std::unique_ptr<MidiOutPort> OpenOut(int device) override;
    std::unique_ptr<MidiInPort> OpenIn(int device, InputCallback callback) override;

  private:
    std::unique_ptr<State> state_;
};

// `api`: "alsa", "jack" (or another API RtMidi was built with, by its RtMidi
// name), or "" for the first that works: the ALSA sequencer, then a running
// JACK server. nullptr, with the reason in *error, when none can be used.
// `clientName` is the base of the client names above.
std::unique_ptr<MidiService> CreateRtMidiService(const std::string& api, std::string* error,
                                                 const std::string& clientName = kRtMidiClientName);

} // namespace velmora::midi
