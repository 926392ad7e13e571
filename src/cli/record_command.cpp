#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/transfer_commands.h"
#include "core/cp1252.h"
#include "core/stop_signal.h"
#include "core/sysex_file_io.h"
#include "midi/midi_session.h"
#include "midi/service_factory.h"
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
    "after the first block, or at an interrupt (Ctrl-C, SIGTERM or SIGHUP); what has\n"
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
    midi::IgnoreHandOffs nothingShown;
    midi::MidiSession session(*service, reporter, nothingShown);
    midi::MidiFunctions& midi = session.midi();
    sysex::SysexRecorder recorder(midi, std::chrono::milliseconds(idleMs.value_or(2000)));
    sysex::BlockNoter noter(recorder);
    midi::UiSignal recordSignal(noter);
    session.SetRecordSignal(&recordSignal);

    recorder.Begin();
    midi.MidiInDeviceName = device.name;
    if (!session.OpenInput()) {
        return 1;
    }
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    std::printf("%s\n", Cp1252ToUtf8(sysex::WaitingText(device.name)).c_str());
    std::fflush(stdout);

    CatchStopSignals();
    bool serviceStopped = false;
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
        if (!service->Running()) {
            serviceStopped = true;
            app.quit();
        }
        if (StopRequested() != 0 || recorder.TransferEnded()) {
            app.quit();
        }
    });
    tick.start(std::clamp(idleMs.value_or(2000) / 4, 10, 250));
    app.exec();

    const auto lost = midi.LostInputEvents();
    session.Shutdown();
    recorder.End();

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
        if (lost > 0) {
            std::fprintf(stderr,
                         "velmora-cli record: %llu events were lost (a sysex message larger "
                         "than the input queue is lost whole)\n",
                         static_cast<unsigned long long>(lost));
        }
        if (serviceStopped) {
            std::fprintf(stderr, "velmora-cli record: the MIDI service (%s) stopped\n",
                         service->Name().c_str());
        }
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
    // What was saved is all there is; anything known to be missing is said.
    bool complete = true;
    if (serviceStopped) {
        std::fprintf(stderr,
                     "velmora-cli record: the MIDI service (%s) stopped during the recording; "
                     "whatever was still to come is lost\n",
                     service->Name().c_str());
        complete = false;
    }
    if (bytes.back() != 0xF7) {
        std::fprintf(stderr,
                     "velmora-cli record: the last sysex message has no end (F7): it was cut "
                     "off\n");
        complete = false;
    }
    if (lost > 0) {
        std::fprintf(stderr,
                     "velmora-cli record: %llu events could not be delivered; the recording "
                     "is incomplete\n",
                     static_cast<unsigned long long>(lost));
        complete = false;
    }
    return complete ? 0 : 1;
}

} // namespace velmora::cli
