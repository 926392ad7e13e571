// velmora: the MIDI monitor.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

#include "app/gui_reporter.h"
#include "app/main_form.h"
#include "app/program_options.h"
#include "app/settings_location.h"
#include "core/stop_signal.h"
#include "help/help_file.h"
#include "help/hook_help_system.h"
#include "midi/service_factory.h"
#include "router/thru_form.h"
#include "sysex/record_form.h"
#include "sysex/send_form.h"
#include "sysex/transfer_texts.h"
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
        const QString message =
            options.midiApi.isEmpty()
                ? QStringLiteral("No MIDI service: no ALSA sequencer, no JACK server.")
                : QStringLiteral("The MIDI service '%1' can't be used.").arg(options.midiApi);
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
    help::THookHelpSystem help(help::FindHelpFile(QApplication::applicationDirPath()),
                               help::kOwnViewer, QString());
    const SettingsPaths paths = SettingsPathsForThisProgram();
    app::TmainForm mainForm(
        app::MainFormEnvironment{*service, reporter, help, paths.readPath, paths.writePath});
    ui::RGForm();
    sysex::TrecordForm recordForm(mainForm.session(), &mainForm);
    sysex::TsendForm sendForm(mainForm.midi(), &mainForm);
    ui::dialogForm1();
    mainForm.showRecordWindow = [&](const std::string& inDeviceName) {
        recordForm.Record(sysex::WaitingText(inDeviceName));
    };
    mainForm.chooseAndSendFile = [&](const std::string& outDeviceName) {
        sendForm.ChooseAndSend(outDeviceName);
    };
    // The router window is made at the first activation, once the device
    // lists are known, and lives as long as the program.
    std::unique_ptr<router::TthruForm> thruForm;
    mainForm.onRouterCreate = [&] {
        thruForm =
            std::make_unique<router::TthruForm>(mainForm.midi(), mainForm.router(), &mainForm);
    };
    mainForm.showRouterWindow = [&] {
        if (thruForm) {
            thruForm->exec();
        }
    };
    // SIGTERM and SIGHUP (a desktop logging out) and Ctrl-C close the program
    // as its Power button does, settings saved: open dialogs first.
    CatchStopSignals();
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (StopRequested() == 0) {
            return;
        }
        stopWatch.stop();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
                dialog->reject();
            }
        }
        QTimer::singleShot(0, &mainForm, [&] { mainForm.close(); });
    });
    stopWatch.start(100);
    mainForm.show();
    return app.exec();
}
