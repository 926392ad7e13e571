// velmora: the MIDI monitor.
#include <QApplication>
#include <QTextCursor>
#include <cstdio>
#include <optional>

#include "app/gui_reporter.h"
#include "app/main_form.h"
#include "app/no_display_exit.h"
#include "app/program_options.h"
#include "app/service_choice.h"
#include "app/settings_location.h"
#include "app/signal_stop.h"
#include "core/stop_signal.h"
#include "help/help_file.h"
#include "help/hook_help_system.h"
#include "midi/service_factory.h"
#include "router/thru_form.h"
#include "sysex/loopback_form.h"
#include "sysex/record_form.h"
#include "sysex/send_form.h"
#include "sysex/transfer_texts.h"
#include "ui/dialog_form1.h"
#include "ui/rg_form.h"
#include "velmora_version.h"

using namespace velmora;

int main(int argc, char** argv) {
    // The help text and the version are answered before the window system is
    // reached, so that they work without a display.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) {
        rawArguments << QString::fromLocal8Bit(argv[i]);
    }
    const app::ProgramOptions asked = app::ParseProgramOptions(rawArguments);
    if (asked.help) {
        std::fputs(app::kProgramHelp, stdout);
        return 0;
    }
    if (asked.version) {
        std::printf("velmora %s\n", kVersion);
        return 0;
    }

    std::optional<app::NoDisplayExit> noDisplay(std::in_place);
    QApplication app(argc, argv);
    noDisplay.reset();
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    // The desktop entry's id, which Wayland desktops match the window with.
    QGuiApplication::setDesktopFileName(QStringLiteral("app.velmora.Velmora"));
    // Read again without the options Qt took for itself (-platform, -style...).
    const app::ProgramOptions options = app::ParseProgramOptions(QApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "velmora: %s; see 'velmora --help'\n",
                     options.error.toLocal8Bit().constData());
        return 2;
    }

    auto service = app::ChooseService(options, app::ProgramServiceHooks());
    if (!service) {
        return 1;
    }
    // Caught from here on: a stop asked for while the windows are made
    // dismisses any dialog they open, then waits for the main window and
    // closes it.
    CatchStopSignals();
    app::SignalStop signalStop(StopRequested, StopSignalDescriptor());
    app::MessageBoxReporter reporter;
    help::THookHelpSystem help(help::FindHelpFile(QApplication::applicationDirPath()),
                               help::kOwnViewer, QString());
    // The demo keeps settings of its own: the user's devices stay untouched.
    const bool demo = service->Name() == "simulated";
    const SettingsPaths paths =
        demo ? DemoSettingsPaths(SettingsPathsForThisProgram()) : SettingsPathsForThisProgram();
    app::MainFormEnvironment environment{*service, reporter, help, paths.readPath, paths.writePath};
    // A service that went away (a JACK server stopped) is ended, and one of
    // the same kind is tried again each second until it answers.
    const std::string api = demo ? "demo" : service->Name();
    environment.restartService = [&service, api]() -> midi::MidiService* {
        service.reset();
        std::string ignored;
        service = midi::CreateMidiService(api, &ignored);
        return service.get();
    };
    app::TmainForm mainForm(environment);
    // About ends with the version, below its description.
    mainForm.MemoAbout->appendPlainText(QStringLiteral("\nVersion %1").arg(kVersion));
    mainForm.MemoAbout->moveCursor(QTextCursor::Start);
    ui::RGForm();
    sysex::TrecordForm recordForm(mainForm.session(), &mainForm);
    sysex::TsendForm sendForm(mainForm.midi(), &mainForm);
    ui::dialogForm1();
    mainForm.showRecordWindow = [&](const std::string& inDeviceName) {
        recordForm.Record(sysex::WaitingText(inDeviceName));
    };
    mainForm.chooseAndSendFile = [&](const std::string& outDeviceName) {
        sendForm.pauseMs = mainForm.SendPauseMs();
        sendForm.ChooseAndSend(outDeviceName);
    };
    // The router window is made at the first activation, once the device
    // lists are known, and lives as long as the program.
    std::unique_ptr<router::TthruForm> thruForm;
    mainForm.onRouterCreate = [&] {
        thruForm =
            std::make_unique<router::TthruForm>(mainForm.midi(), mainForm.router(), &mainForm);
        thruForm->SetRows(mainForm.routerRows);
    };
    mainForm.showRouterWindow = [&] {
        if (thruForm) {
            thruForm->exec();
            mainForm.routerRows = thruForm->Rows();
        }
    };
    mainForm.showLoopbackWindow = [&] {
        sysex::TloopbackForm loopback(mainForm.midi().service(), &mainForm);
        loopback.exec();
    };
    mainForm.show();
    // SIGTERM and SIGHUP (a desktop logging out) and Ctrl-C close the program
    // as its Power button does, settings saved, and the exit status tells.
    signalStop.SetMainWindow(&mainForm);
    return signalStop.ExitStatus(app.exec());
}
