#include "midi/service_factory.h"

#include "midi/alsa/alsa_service.h"
#include "midi/rtmidi/rtmidi_service.h"
#include "midi/simulated/simulated_service.h"

namespace velmora::midi {

std::unique_ptr<MidiService> CreateMidiService(const std::string& api, std::string* error) {
    if (api == "demo") {
        return CreateDemoService();
    }
    if (api != "" && api != "alsa" && api != "jack") {
        if (error) {
            *error = "unknown MIDI service '" + api + "' (alsa, jack or demo)";
        }
        return nullptr;
    }
    if (api == "" || api == "alsa") {
        // Velmora's own ALSA back end; RtMidi's stays behind it, and finds
        // JACK when no sequencer is there.
        if (auto alsa = CreateAlsaService(nullptr)) {
            return alsa;
        }
    }
    return CreateRtMidiService(api, error);
}

} // namespace velmora::midi
