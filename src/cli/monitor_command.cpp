#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/device_commands.h"
#include "cli/live_details.h"
#include "cli/options.h"
#include "core/analysis.h"
#include "core/cp1252.h"
#include "core/stop_signal.h"
#include "core/sysex_text.h"
#include "midi/midi_session.h"
#include "midi/service_factory.h"

namespace velmora::cli {
namespace {

constexpr const char* kMonitorHelp =
    "Usage: velmora-cli monitor --in IN [--out OUT [--thru-channel 0..16]] [--details]\n"
    "                           [--api alsa|jack|demo]\n"
    "\n"
    "Shows what arrives at MIDI input N, as Velmora's monitors do, until\n"
    "interrupted (Ctrl-C or SIGTERM):\n"
    "  - every short message as an events-history line behind the\n"
    "    milliseconds since the start (timing clock is never shown, active\n"
    "    sensing lights no line);\n"
    "  - every sysex block of up to 4096 bytes as \"Block #n (k bytes)\" and\n"
    "    its bytes in hexadecimal.\n"
    "\n"
    "With --out M the messages are also passed through to output M; with\n"
    "--thru-channel C (1 to 16) channel messages are sent on channel C\n"
    "(0, the default, keeps their channel).\n"
    "\n"
    "With --details each line also gets what the message means in its stream\n"
    "(as 'velmora-cli decode --details' gives it), each sysex block header the\n"
    "manufacturer and kind of message, and the rates of timing clock and\n"
    "active sensing get a line of their own when they change.\n"
    "\n"
    "IN and OUT are device numbers of 'velmora-cli list', or exact device names.\n"
    "When what thru passes on comes back at the input (a feedback loop), thru\n"
    "is switched off and standard error says so; monitoring goes on.\n"
    "\n"
    "Exit status: 0 after an interrupt (Ctrl-C, SIGTERM, SIGHUP), 1 when a port\n"
    "can't be opened or the MIDI service stops, 2 for a bad command line or a\n"
    "device that does not exist.\n";

// Prints what the monitor shows; runs on the main (Qt) thread.
class MonitorPrinter : public midi::UiSignalReceiver {
  public:
    explicit MonitorPrinter(LiveDetails* details) : details_(details) {}
    void Attach(midi::MidiFunctions& midi) { midi_ = &midi; }

    void HandleSignal(char code) override {
        if (code == '1') {
            const std::string& hex = midi_->PendingSysexText;
            ++blockCount_;
            const std::string more = details_ ? details_->SysexBlock(hex) : std::string();
            std::printf("%s%s\n%s\n", SysexBlockHeader(blockCount_, hex.size() / 3).c_str(),
                        more.c_str(), hex.c_str());
        } else if (code == '2') {
            const ShortMessage message = midi_->LastShortMessage.load();
            const AnalysisResult r = AnalyseShortMessage(message, prefs_);
            const std::string more =
                details_ ? details_->Short(message, midi_->ElapsedMs()) : std::string();
            if (r.showFields) {
                std::string line = Cp1252ToUtf8(r.explicitText.historyLine);
                line.resize(line.size() - 2); // CR LF
                std::printf("%9d  %s%s\n", midi_->ElapsedMs(), line.c_str(), more.c_str());
            }
        } else if (code == '3' && details_) { // a timing clock, counted only
            details_->Clock(midi_->ElapsedMs());
        }
    }
    void PrintRates() {
        if (details_) {
            if (const auto line = details_->RatesLine(midi_->ElapsedMs())) {
                std::printf("%9d  %s\n", midi_->ElapsedMs(), line->c_str());
            }
        }
    }

  private:
    midi::MidiFunctions* midi_ = nullptr;
    LiveDetails* details_;
    AnalysisPreferences prefs_; // the program's defaults
    int blockCount_ = 0;
};

} // namespace

int RunMonitor(std::span<const std::string_view> allArgs, int argc, char** argv) {
    std::vector<std::string_view> args(allArgs.begin(), allArgs.end());
    const bool withDetails = std::erase(args, std::string_view("--details")) > 0;
    Options o = ParseOptions(args, {"--in", "--out", "--thru-channel", "--api"});
    if (o.help) {
        std::fputs(kMonitorHelp, stdout);
        return 0;
    }
    const auto in = o.Get("--in");
    const auto out = o.Get("--out");
    const auto thruChannel = o.GetInt("--thru-channel", 0, 16);
    if (o.error.empty() && !in) {
        o.error = "--in N is required";
    }
    if (o.error.empty() && thruChannel && !out) {
        o.error = "--thru-channel needs --out";
    }
    if (!o.error.empty() || !o.positional.empty()) {
        std::fprintf(stderr, "velmora-cli monitor: %s; see 'velmora-cli monitor --help'\n",
                     o.error.empty() ? "unexpected argument" : o.error.c_str());
        return 2;
    }

    auto service = OpenServiceOrComplain("monitor", o);
    if (!service) {
        return 1;
    }
    DeviceChoice input, output;
    if (!ChooseDeviceOrComplain("monitor", *service, *in, false, input) ||
        (out && !ChooseDeviceOrComplain("monitor", *service, *out, true, output))) {
        return 2;
    }

    QCoreApplication app(argc, argv);
    StderrReporter reporter("velmora-cli monitor");
    LiveDetails details;
    MonitorPrinter printer(withDetails ? &details : nullptr);
    midi::MidiSession session(*service, reporter, printer);
    midi::MidiFunctions& midi = session.midi();
    printer.Attach(midi);

    if (isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    }
    if (out) {
        midi.MidiOutDeviceName = output.name;
        if (!session.OpenThru(thruChannel.value_or(0))) {
            return 1;
        }
    }
    midi.MidiInDeviceName = input.name;
    midi::MidiInCallback& callback = session.callback();
    midi::InputCallback deliver = callback.AsCallback();
    if (withDetails) { // timing clock never reaches the printer otherwise
        deliver = [&](const midi::InputEvent& event) {
            callback(event);
            if (event.code == midi::InputMessage::Data && event.message == kTimingClock &&
                midi.InputActive.load()) {
                session.signal().Raise('3');
            }
        };
    }
    if (!midi.OpenMidiIn(deliver)) {
        return 1;
    }

    CatchStopSignals();
    int status = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        printer.PrintRates();
        std::fflush(stdout);
        session.CheckEchoProbes();
        if (session.path().thruLoopBroken.exchange(false)) {
            std::fprintf(stderr,
                         "velmora-cli monitor: thru switched off: what it passed on to '%s' came "
                         "back at '%s' (a feedback loop); monitoring goes on\n",
                         output.name.c_str(), input.name.c_str());
        }
        if (!service->Running()) {
            std::fprintf(stderr, "velmora-cli monitor: the MIDI service (%s) stopped\n",
                         service->Name().c_str());
            status = 1;
            app.quit();
        }
        if (StopRequested() != 0) {
            app.quit();
        }
    });
    poll.start(50);
    app.exec();

    const auto lost = midi.LostInputEvents();
    session.Shutdown();
    std::fflush(stdout);
    if (lost > 0) {
        std::fprintf(stderr, "velmora-cli monitor: %llu events could not be delivered\n",
                     static_cast<unsigned long long>(lost));
    }
    return status;
}

} // namespace velmora::cli
