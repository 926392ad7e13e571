// A main window on the simulated service, offscreen, with recorded failure
// texts and help requests, for the window tests.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "app/main_form.h"
#include "help/stand_in_help.h"
#include "midi/simulated_service.h"
#include "support/recording_reporter.h"

namespace velmora::testing {

class MainFormRig {
public:
    explicit MainFormRig(std::vector<std::string> outs = {"Synth A", "Synth B", "Synth C"},
                         std::vector<std::string> ins = {"Keys A", "Keys B"})
        : service(std::move(outs), std::move(ins)) {
        help.showMessages = false;
        settingsPath = dir.filePath(QStringLiteral("Velmora.ini"));
    }

    // Creates and shows the window; the first activation runs.
    app::TmainForm& Start() {
        form = std::make_unique<app::TmainForm>(app::MainFormEnvironment{
            service, reporter, help, settingsPath, settingsPath,
            [this] { return ticks.load(); }, 0});
        form->show();
        QApplication::processEvents();
        return *form;
    }

    // Lets the window serve what the MIDI thread handed over.
    void Settle() {
        for (int i = 0; i < 50; ++i) {
            QApplication::processEvents();
            if (service.WaitIdle(form->midi().MidiInDevice, std::chrono::milliseconds(1))) {
                QApplication::processEvents();
                return;
            }
        }
    }

    void Play(std::initializer_list<ShortMessage> messages) {
        for (auto m : messages) {
            service.InjectShort(form->midi().MidiInDevice, m);
        }
        Settle();
    }

    std::atomic<std::uint32_t> ticks{100000};
    midi::SimulatedService service;
    RecordingReporter reporter;
    help::StandInHelp help;
    QTemporaryDir dir;
    QString settingsPath;
    std::unique_ptr<app::TmainForm> form;
};

} // namespace velmora::testing
