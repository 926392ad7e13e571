// A main window on the simulated service, offscreen, with recorded failure
// texts and help requests, for the window tests.
#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "app/main_form.h"
#include "midi/simulated/simulated_service.h"
#include "support/recording_reporter.h"
#include "support/stand_in_help.h"

namespace velmora::testing {

// The stand-in help that also counts how often it was asked.
class CountingHelp : public StandInHelp {
  public:
    bool OpenHelpContext(int context) override {
        ++calls;
        return StandInHelp::OpenHelpContext(context);
    }
    int calls = 0;
};

class MainFormRig {
  public:
    // The tick counter's value when the window is made: ElapsedMs counts from here.
    static constexpr std::uint32_t kTickBase = 100000;

    explicit MainFormRig(std::vector<std::string> outs = {"Synth A", "Synth B", "Synth C"},
                         std::vector<std::string> ins = {"Keys A", "Keys B"})
        : service(std::move(outs), std::move(ins)) {
        settingsPath = dir.filePath(QStringLiteral("Velmora.ini"));
    }

    // Makes the window without showing it: nothing of the MIDI service is used yet.
    app::TmainForm& Create() {
        app::MainFormEnvironment env{
            service, reporter, help, settingsPath, settingsPath, [this] { return ticks.load(); },
            0};
        // The simulated service "comes back" when it runs again.
        env.restartService = [this]() -> midi::MidiService* {
            return service.Running() ? &service : nullptr;
        };
        form = std::make_unique<app::TmainForm>(env);
        return *form;
    }

    // Creates and shows the window; the first activation runs.
    app::TmainForm& Start() {
        if (!form) {
            Create();
        }
        form->show();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            QApplication::processEvents();
        } while (form->FirstActivation() && !form->StartFailed() &&
                 std::chrono::steady_clock::now() < until);
        QApplication::processEvents();
        return *form;
    }

    // Lets the window serve what the MIDI thread handed over, until the
    // input is idle and the window has taken in all it was handed; false when
    // it still has not after `timeout`. The wait sleeps until the window's
    // next wake-up (or the backstop's tick, for an input that goes idle
    // without one) rather than for a fixed while per round, which a dump of
    // thousands of blocks would pay thousands of times.
    bool Settle(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        const int device = service.InDeviceNumber(form->midi().MidiInDeviceName);
        QTimer backstop;
        backstop.start(1);
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (true) {
            QApplication::processEvents();
            if (service.WaitIdle(device, std::chrono::milliseconds(0)) &&
                form->signal().Queued() == 0) {
                QApplication::processEvents();
                return true;
            }
            if (std::chrono::steady_clock::now() >= until) {
                return false;
            }
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    // Plays the messages into the chosen input; false when one was not taken
    // or the window did not take them all in.
    bool Play(std::initializer_list<ShortMessage> messages) {
        bool taken = true;
        for (auto m : messages) {
            taken = service.InjectShort(service.InDeviceNumber(form->midi().MidiInDeviceName), m) &&
                    taken;
        }
        return Settle() && taken;
    }

    // Plays one sysex message into the chosen input (one event, as a JACK
    // port delivers it); false when the input or the window did not take it.
    bool PlaySysex(const std::vector<std::uint8_t>& bytes) {
        const bool taken =
            service.InjectSysex(service.InDeviceNumber(form->midi().MidiInDeviceName), bytes);
        return Settle() && taken;
    }

    // What ElapsedMs reads from now on.
    void SetElapsed(std::uint32_t ms) { ticks.store(kTickBase + ms); }

    void WriteSettings(const QByteArray& bytes) {
        QFile file(settingsPath);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(bytes);
        }
    }
    // The settings file's bytes; nothing when there is no file.
    std::optional<QByteArray> ReadSettings() const {
        QFile file(settingsPath);
        if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        return file.readAll();
    }

    std::atomic<std::uint32_t> ticks{kTickBase};
    midi::SimulatedService service;
    RecordingReporter reporter;
    CountingHelp help;
    QTemporaryDir dir;
    QString settingsPath;
    std::unique_ptr<app::TmainForm> form;
};

// A monitor box's rows; none for an empty box.
inline QStringList BoxLines(const QPlainTextEdit* box) {
    QStringList lines;
    for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
        lines << b.text();
    }
    return box->document()->isEmpty() ? QStringList() : lines;
}

inline QStringList BoxLines(const ui::TLineBox* box) {
    QStringList lines;
    for (int i = 0; i < box->lineCount(); ++i) {
        lines << box->line(i);
    }
    return lines;
}

// A box's text as the monitor counts it: every line ends with CR LF.
template <class Box> QString WithCrLf(const Box* box) {
    QString text;
    for (const QString& line : BoxLines(box)) {
        text += line + QStringLiteral("\r\n");
    }
    return text;
}

} // namespace velmora::testing
