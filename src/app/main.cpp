// velmora: the MIDI monitor.
#include <QApplication>
#include <cstdio>

#include "app/gui_reporter.h"
#include "app/main_form.h"
#include "app/program_options.h"
#include "app/settings_location.h"
#include "help/stand_in_help.h"
#include "midi/service_factory.h"
#include "router/thru_form.h"
#include "ui/dialog_form1.h"
#include "ui/rg_form.h"

using namespace velmora;

namespace {

// Without any MIDI service the program offers its demo instead.
std::unique_ptr<midi::MidiService> ChooseService(const app::ProgramOptions& options) {
    std::string error;
    if (!options.demo) {
        if (auto service = midi::CreateMidiService(options.midiApi.toStdString(), &error)) {
            return service;
        }
        std::fprintf(stderr, "velmora: %s\n", error.c_str());
        const QString message = options.midiApi.isEmpty()
                                    ? QStringLiteral("No MIDI service: no ALSA sequencer, no JACK server.")
                                    : QStringLiteral("The MIDI service '%1' can't be used.")
                                          .arg(options.midiApi);
        if (ui::ShowMessageDialog(message, 2, QStringLiteral("Demo"), QStringLiteral("Quit")) !=
            1) {
            return nullptr;
        }
    }
    return midi::CreateMidiService("demo", &error);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    const app::ProgramOptions options = app::ParseProgramOptions(QApplication::arguments());
    if (options.help) {
        std::fputs(app::kProgramHelp, stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "velmora: %s; see 'velmora --help'\n",
                     options.error.toLocal8Bit().constData());
        return 2;
    }

    auto service = ChooseService(options);
    if (!service) {
        return 1;
    }
    app::MessageBoxReporter reporter;
    help::StandInHelp help;
    const SettingsPaths paths = SettingsPathsForThisProgram();
    app::TmainForm mainForm(
        app::MainFormEnvironment{*service, reporter, help, paths.readPath, paths.writePath});
    ui::RGForm();
    ui::dialogForm1();
    // The router window is made at the first activation, once the device
    // lists are known, and lives as long as the program.
    std::unique_ptr<router::TthruForm> thruForm;
    mainForm.onRouterCreate = [&] {
        thruForm = std::make_unique<router::TthruForm>(mainForm.midi(), mainForm.router(),
                                                       &mainForm);
    };
    mainForm.showRouterWindow = [&] {
        if (thruForm) {
            thruForm->exec();
        }
    };
    mainForm.show();
    return app.exec();
}
