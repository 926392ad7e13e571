// Which MIDI service the program runs on: the one asked for (or the first
// that works); when none can be used, the user is told why and chooses to
// try again, to play the demo or to quit.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/program_options.h"
#include "midi/midi_service.h"

namespace velmora::app {

enum class ServiceFailureChoice { Retry = 1, Demo = 2, Quit = 3 };

struct ServiceChoiceHooks {
    // Makes the service for an API name ("" = the first that works, "demo");
    // null with `error` set when it cannot.
    std::function<std::unique_ptr<midi::MidiService>(const std::string& api, std::string* error)>
        create;
    // Tells the user (message and reason) and returns the choice.
    std::function<ServiceFailureChoice(const QString& message, const QString& reason)> ask;
    // Also tells the terminal.
    std::function<void(const std::string& text)> log;
};

// The service to run on; null when the user chose to quit.
std::unique_ptr<midi::MidiService> ChooseService(const ProgramOptions& options,
                                                 const ServiceChoiceHooks& hooks);

// The hooks of the program: the real services, the skinned dialog, stderr.
ServiceChoiceHooks ProgramServiceHooks();

} // namespace velmora::app
