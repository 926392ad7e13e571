#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/transfer_commands.h"
#include "core/cp1252.h"
#include "core/sysex_file_io.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "midi/service_factory.h"
#include "midi/ui_signal.h"
#include "sysex/sysex_recorder.h"
#include "sysex/transfer_texts.h"

namespace velmora::cli {
namespace {

constexpr const char* kRecordHelp =
    "Usage: velmora-cli record --in N FILE.syx [--idle-ms MS] [--api alsa|jack|demo]\n"
    "\n"
    "Records the system exclusive data that arrives at MIDI input N and saves\n"
    "it to FILE.syx exactly as received: raw sysex bytes, several messages one\n"
    "after the other, no header. Everything else that arrives (notes,\n"
    "controllers, clock) is ignored.\n"
    "\n"
    "Recording ends once no byte has come for MS milliseconds (default 2000)\n"
    "after the first block, or at an interrupt (Ctrl-C or SIGTERM); what has\n"
    "arrived by then is saved. The count of blocks and bytes received is shown\n"
    "as it grows on a terminal, and printed at the end.\n"
    "\n"
    "The file is written in one piece: a save that fails leaves no partial\n"
    "file behind, and an existing FILE.syx is only replaced by a complete one.\n"
    "\n"
    "N is a device number of 'velmora-cli list' or a device's exact name.\n"
    "Exit status: 0 when the file was saved, 1 when nothing arrived, data was\n"
    "lost, the input can't be opened or the file can't be written, 2 for a bad\n"
    "command line or a device that does not exist.\n";

std::atomic<bool> gStop{false};
void OnStopSignal(int) {
    gStop.store(true);
}

// Record mode raises no main-window hand-off; a receiver is still needed.
class NoMainWindow : public midi::UiSignalReceiver {
  public:
    void HandleSignal(char) override {}
};

// The record window's reaction to a block, on the main (Qt) thread.
class BlockNoter : public midi::UiSignalReceiver {
  public:
    explicit BlockNoter(sysex::SysexRecorder& recorder) : recorder_(recorder) {}
    void HandleSignal(char code) override {
        if (code == '1') {
            recorder_.NoteBlock();
        }
    }

  private:
    sysex::SysexRecorder& recorder_;
};

} // namespace

int RunRecord(std::span<const std::string_view> args, int argc, char** argv) {
    Options o = ParseOptions(args, {"--in", "--idle-ms", "--api"});
    if (o.help) {
        std::fputs(kRecordHelp, stdout);
        return 0;
    }
    const auto in = o.Get("--in");
    const auto idleMs = o.GetInt("--idle-ms", 1, 3600000);
    if (o.error.empty() && !in) {
        o.error = "--in N is required";
    }
    if (o.error.empty() && o.positional.size() != 1) {
        o.error = o.positional.empty() ? "the file to record to is missing"
                                       : "only one file can be recorded to";
    }
    if (!o.error.empty()) {
        std::fprintf(stderr, "velmora-cli record: %s; see 'velmora-cli record --help'\n",
                     o.error.c_str());
        return 2;
    }
    const std::string path = o.positional.front();
    // Before anything is recorded: a dump that could not be saved is lost.
    if (const FileOutcome writable = CheckSysexFileTarget(path); !writable) {
        std::fprintf(stderr, "velmora-cli record: %s: %s\n", path.c_str(),
                     Cp1252ToUtf8(writable.message).c_str());
        return 1;
    }

    auto service = OpenServiceOrComplain("record", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device;
    if (!ChooseDeviceOrComplain("record", *service, *in, false, device)) {
        return 2;
    }

    QCoreApplication app(argc, argv);
    StderrReporter reporter("velmora-cli record");
    midi::MidiFunctions midi(*service, reporter);
    sysex::SysexRecorder recorder(midi, std::chrono::milliseconds(idleMs.value_or(2000)));
    NoMainWindow mainWindow;
    midi::UiSignal mainSignal(mainWindow);
    BlockNoter noter(recorder);
    midi::UiSignal recordSignal(noter);
    midi::MainWindowTags tags;
    midi::RouterSettings router;
    midi::MidiInCallback callback(midi, tags, router, mainSignal);
    callback.SetRecordSignal(&recordSignal);
    midi.SetWaitHook([&] {
        mainSignal.ServePending();
        recordSignal.ServePending();
    });
    midi.StartClock();

    recorder.Begin();
    midi.MidiInDevice = device.number;
    if (!midi.OpenMidiIn(callback.AsCallback())) {
        return 1;
    }
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    std::printf("%s\n", Cp1252ToUtf8(sysex::WaitingText(device.name)).c_str());
    std::fflush(stdout);

    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::string shown;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (terminal) {
            const std::string status = recorder.StatusText();
            if (status != shown) {
                std::printf("\r%s", status.c_str());
                std::fflush(stdout);
                shown = status;
            }
        }
        if (gStop.load() || recorder.TransferEnded()) {
            app.quit();
        }
    });
    tick.start(std::clamp(idleMs.value_or(2000) / 4, 10, 250));
    app.exec();

    const auto lost = midi.LostInputEvents();
    midi.CloseMidiIn();
    recorder.End();
    mainSignal.Shutdown();
    recordSignal.Shutdown();

    const std::vector<std::uint8_t> bytes = recorder.Bytes();
    if (!shown.empty()) {
        std::printf("\r");
    }
    if (bytes.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "velmora-cli record: %s No sysex arrived at '%s'; '%s' was not "
                     "written.\n",
                     sysex::kNothingToSave, device.name.c_str(), path.c_str());
        return 1;
    }
    std::printf("%s\n", recorder.StatusText().c_str());
    std::fflush(stdout);
    const FileOutcome saved = SaveSysexFile(path, bytes);
    if (!saved) {
        std::fprintf(stderr, "velmora-cli record: %s: %s\n", path.c_str(),
                     Cp1252ToUtf8(saved.message).c_str());
        return 1;
    }
    std::printf("Saved %zu bytes to '%s'\n", bytes.size(), path.c_str());
    if (lost > 0) {
        std::fprintf(stderr,
                     "velmora-cli record: %llu events could not be delivered; the recording "
                     "is incomplete\n",
                     static_cast<unsigned long long>(lost));
        return 1;
    }
    return 0;
}

} // namespace velmora::cli
