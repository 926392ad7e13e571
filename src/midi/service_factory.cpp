#include "midi/service_factory.h"

#include "midi/rtmidi/rtmidi_service.h"
#include "midi/simulated/simulated_service.h"
#ifdef VELMORA_HAVE_JACK
#include "midi/jack/jack_service.h"
#endif

namespace velmora::midi {

namespace {
// "no MIDI service could be opened (REASONS)" -> "REASONS".
std::string Reasons(const std::string& error) {
    const std::string prefix = "no MIDI service could be opened (";
    if (error.rfind(prefix, 0) == 0 && !error.empty() && error.back() == ')') {
        return error.substr(prefix.size(), error.size() - prefix.size() - 1);
    }
    return error;
}
} // namespace

std::unique_ptr<MidiService> CreateMidiService(const std::string& api, std::string* error) {
    if (api == "demo") {
        return CreateDemoService();
    }
    if (api == "jack-rtmidi") {
        return CreateRtMidiService("jack", error); // RtMidi's JACK, kept as a fallback
    }
    if (api != "" && api != "alsa" && api != "jack") {
        if (error) {
            *error = "unknown MIDI service '" + api + "' (alsa, jack or demo)";
        }
        return nullptr;
    }
#ifdef VELMORA_HAVE_JACK
    if (api == "jack") {
        return CreateJackService(error);
    }
    if (api.empty()) {
        // The ALSA sequencer, then a running JACK server.
        std::string alsaWhy;
        if (auto alsa = CreateRtMidiService("alsa", &alsaWhy)) {
            return alsa;
        }
        std::string jackWhy;
        if (auto jack = CreateJackService(&jackWhy)) {
            return jack;
        }
        if (error) {
            *error = "no MIDI service could be opened (" + Reasons(alsaWhy) + "; " +
                     Reasons(jackWhy) + ")";
        }
        return nullptr;
    }
#endif
    return CreateRtMidiService(api, error);
}

} // namespace velmora::midi
