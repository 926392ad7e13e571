#include "app/service_choice.h"

#include <cstdio>

#include "midi/service_factory.h"
#include "ui/dialog_form1.h"

namespace velmora::app {

std::unique_ptr<midi::MidiService> ChooseService(const ProgramOptions& options,
                                                 const ServiceChoiceHooks& hooks) {
    std::string error;
    if (!options.demo) {
        while (true) {
            error.clear();
            if (auto service = hooks.create(options.midiApi.toStdString(), &error)) {
                return service;
            }
            hooks.log("velmora: " + error);
            const QString message =
                options.midiApi.isEmpty()
                    ? QStringLiteral("No MIDI service: no ALSA sequencer, no JACK server.")
                    : QStringLiteral("The MIDI service '%1' can't be used.").arg(options.midiApi);
            const QString reason =
                error.empty() ? QStringLiteral("The system gave no reason.")
                              : QStringLiteral("Why: %1. Start the service, then Retry; or "
                                               "play the demo.")
                                    .arg(QString::fromStdString(error));
            const ServiceFailureChoice choice = hooks.ask(message, reason);
            if (choice == ServiceFailureChoice::Demo) {
                break;
            }
            if (choice != ServiceFailureChoice::Retry) {
                return nullptr;
            }
        }
    }
    return hooks.create("demo", &error);
}

ServiceChoiceHooks ProgramServiceHooks() {
    return {midi::CreateMidiService,
            [](const QString& message, const QString& reason) {
                return static_cast<ServiceFailureChoice>(
                    ui::ShowChoiceDialog(message, reason, QStringLiteral("Retry"),
                                         QStringLiteral("Demo"), QStringLiteral("Quit")));
            },
            [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }};
}

} // namespace velmora::app
