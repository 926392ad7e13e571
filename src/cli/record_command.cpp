#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/transfer_commands.h"
#include "core/cp1252.h"
#include "core/stop_signal.h"
#include "core/sysex_file_io.h"
#include "core/sysex_request.h"
#include "core/terminal_text.h"
#include "core/user_language.h"
#include "midi/midi_session.h"
#include "midi/queued_midi_in.h"
#include "midi/service_factory.h"
#include "sysex/request_sender.h"
#include "sysex/sysex_recorder.h"
#include "sysex/transfer_texts.h"

namespace velmora::cli {
namespace {

constexpr const char* kRecordHelp =
    "Usage: velmora-cli record -i N FILE.syx|- [--idle-ms MS] [-q] [-a alsa|jack|demo]\n"
    "                          [-o M --request HEX | --request-file REQ.syx\n"
    "                           [--timeout-ms MS]]\n"
    "\n"
    "Records the system exclusive data that arrives at MIDI input N and saves\n"
    "it to FILE.syx exactly as received: raw sysex bytes, several messages one\n"
    "after the other, no header. Everything else that arrives (notes,\n"
    "controllers, clock) is ignored.\n"
    "\n"
    "Recording ends once no byte has come for MS milliseconds (default 2000)\n"
    "after the first block, or at an interrupt (Ctrl-C, SIGTERM or SIGHUP); what has\n"
    "arrived by then is saved, a message the interrupt cut short too (said\n"
    "incomplete, with exit status 1). The count of blocks and bytes received is shown\n"
    "on standard error as it grows on a terminal, and printed at the end;\n"
    "-q (--quiet) leaves these out.\n"
    "\n"
    "Request and reply: with --request HEX (\"F0 7E 7F 06 01 F7\", the identity\n"
    "request) or --request-file REQ.syx, the request is sent on output M (-o,\n"
    "--out) once recording runs, and what the device answers is recorded. A\n"
    "request is one or more whole sysex messages (F0 ... F7), at most 64 KiB.\n"
    "Recording then ends when the reply has come and the line has been idle\n"
    "for the --idle-ms time; when nothing at all has come within --timeout-ms\n"
    "(default 5000) of the request, there is no reply: nothing is written and\n"
    "the exit status is 1.\n"
    "\n"
    "A FILE of '-' writes the bytes to standard output (not a terminal), as\n"
    "  velmora-cli record -i 0 - | velmora-cli send -o 1 -\n"
    "\n"
    "The file is written in one piece: a save that fails leaves no partial\n"
    "file behind, and an existing FILE.syx is only replaced by a complete one.\n"
    "\n"
    "N and M (-i, --in; -o, --out) are device numbers of 'velmora-cli list',\n"
    "devices' names or a part of one name (any case).\n"
    "Exit status: 0 when the file was saved, 1 when nothing arrived (no reply\n"
    "came), data was lost, the input device left, a port can't be opened, the\n"
    "request or the file can't be read or written, 2 for a bad command line, a\n"
    "bad request or a device that does not exist.\n";

// How long a request may go without any reply.
constexpr int kDefaultReplyTimeoutMs = 5000;

// Writes the recording to standard output, whole.
FileResult WriteStandardOutput(const std::vector<std::uint8_t>& bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        return {FileFault::System, errno != 0 ? errno : EIO};
    }
    return {};
}

// The name of a stop signal, as a user knows it.
const char* SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT (Ctrl-C)";
    case SIGTERM:
        return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        return "a signal";
    }
}

// The bytes of the last message in a recording, from its F0.
std::size_t LastMessageBytes(const std::vector<std::uint8_t>& bytes) {
    const auto start = std::find(bytes.rbegin(), bytes.rend(), std::uint8_t{0xF0});
    return start == bytes.rend() ? bytes.size()
                                 : static_cast<std::size_t>(start - bytes.rbegin()) + 1;
}

} // namespace

int RunRecord(std::span<const std::string_view> args, int argc, char** argv) {
    Options o = ParseOptions(
        args,
        {"--in", "--idle-ms", "--api", "--out", "--request", "--request-file", "--timeout-ms"},
        {"--quiet"});
    if (o.help) {
        std::fputs(kRecordHelp, stdout);
        return 0;
    }
    const auto in = o.Get("--in");
    const auto idleMs = o.GetInt("--idle-ms", 1, 3600000);
    const auto timeoutMs = o.GetInt("--timeout-ms", 1, 3600000);
    const auto out = o.Get("--out");
    const auto requestHex = o.Get("--request");
    const auto requestFile = o.Get("--request-file");
    const bool requested = requestHex || requestFile;
    if (o.error.empty() && !in) {
        o.error = "--in N is required";
    }
    if (o.error.empty() && requestHex && requestFile) {
        o.error = "--request and --request-file can't go together";
    }
    if (o.error.empty() && requested && !out) {
        o.error = "--request needs --out M, the output to send it on";
    }
    if (o.error.empty() && out && !requested) {
        o.error = "--out is only for sending a request (--request or --request-file)";
    }
    if (o.error.empty() && timeoutMs && !requested) {
        o.error = "--timeout-ms needs --request or --request-file";
    }
    Request request;
    if (o.error.empty() && requestHex) {
        request = RequestFromHex(*requestHex);
        if (!request.ok) {
            o.error = "--request: " + request.error;
        }
    }
    if (o.error.empty() && o.positional.size() != 1) {
        o.error = o.positional.empty() ? "the file to record to is missing"
                                       : "only one file can be recorded to";
    }
    const bool toStdout = o.error.empty() && o.positional.front() == "-";
    if (toStdout && isatty(STDOUT_FILENO)) {
        o.error = "standard output is a terminal; send the sysex bytes to a file or a pipe";
    }
    if (!o.error.empty()) {
        return UsageError("record", o.error);
    }
    const bool quiet = o.Has("--quiet");
    const Language language = UserLanguage();
    const std::string path = o.positional.front();
    const std::string shownPath = toStdout ? "standard output" : TerminalSafe(path);
    // Before anything is recorded: a dump that could not be saved is lost.
    if (const FileResult writable = toStdout ? FileResult{} : CheckSysexFileTarget(path);
        !writable) {
        std::fprintf(stderr, "velmora-cli record: %s: %s\n", shownPath.c_str(),
                     Cp1252ToUtf8(FileFaultText(writable, language, FileTask::SysexSave)).c_str());
        return 1;
    }

    if (requestFile) {
        const std::string shownRequest = TerminalSafe(*requestFile);
        FileContents file = LoadSysexFile(*requestFile);
        if (!file.result) {
            std::fprintf(
                stderr, "velmora-cli record: %s: %s\n", shownRequest.c_str(),
                Cp1252ToUtf8(FileFaultText(file.result, language, FileTask::SysexLoad)).c_str());
            return 1;
        }
        request = RequestFromBytes(std::move(file.bytes));
        if (!request.ok) {
            std::fprintf(stderr, "velmora-cli record: %s: not a request: %s\n",
                         shownRequest.c_str(), request.error.c_str());
            return 2;
        }
    }

    auto service = OpenServiceOrComplain("record", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device, output;
    if (!ChooseDeviceOrComplain("record", *service, *in, false, device) ||
        (out && !ChooseDeviceOrComplain("record", *service, *out, true, output))) {
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

    // Before anything is printed: a script may stop the recording as soon as
    // it sees "Waiting...".
    CatchStopSignals();
    recorder.Begin();
    midi.MidiInDeviceName = device.name;
    if (!session.OpenInput()) {
        session.Shutdown(); // before recordSignal, declared after it, ends
        return 1;
    }
    const bool terminal = !quiet && isatty(STDERR_FILENO) != 0;
    if (!quiet) {
        std::fprintf(
            stderr, "%s\n",
            TerminalSafe(sysex::TransferTextUtf8(sysex::WaitingText(device.name), device.name))
                .c_str());
    }
    // The request goes out once recording runs, so that no reply is missed.
    const auto requestedAt = std::chrono::steady_clock::now();
    if (requested) {
        midi.MidiOutDeviceName = output.name;
        if (!midi.OpenMidiOut()) {
            session.Shutdown();
            return 1;
        }
        if (const std::string why = sysex::SendRequest(midi.MidiOutHandle(), request.bytes);
            !why.empty()) {
            std::fprintf(stderr, "velmora-cli record: %s\n", why.c_str());
            session.Shutdown();
            return 1;
        }
        if (!quiet) {
            std::fprintf(stderr, "Request sent to '%s' (%zu bytes)\n",
                         TerminalSafe(output.name).c_str(), request.bytes.size());
        }
    }

    bool serviceStopped = false;
    bool deviceLeft = false;
    bool noReply = false;
    std::string shown;
    std::uint64_t lostSeen = 0;
    auto lostAt = std::chrono::steady_clock::now();
    // Late server cycles while sysex arrived: from the last tick before
    // anything came to the first tick after the last bytes. One while the
    // line was idle cost nothing.
    std::uint64_t lateBefore = service->LateCycles();
    std::uint64_t lateUntil = lateBefore;
    std::size_t lengthSeen = 0;
    const auto noteLateCycles = [&] {
        if (recorder.Length() == 0) {
            lateBefore = lateUntil = service->LateCycles();
        } else if (recorder.Length() != lengthSeen) {
            lengthSeen = recorder.Length();
            lateUntil = service->LateCycles();
        }
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        noteLateCycles();
        if (terminal) {
            const std::string status = recorder.StatusText();
            if (status != shown) {
                std::fprintf(stderr, "\r%s", status.c_str());
                shown = status;
            }
        }
        if (!service->Running()) {
            serviceStopped = true;
            app.quit();
        } else if (const midi::MidiInPort* in = midi.MidiInHandle(); in && in->Gone()) {
            deviceLeft = true; // nothing more will come
            app.quit();
        }
        const bool ended = recorder.TransferEnded();
        if (requested) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - requestedAt);
            const ReplyState reply = JudgeReply(recorder.Length(), ended, waited.count(),
                                                timeoutMs.value_or(kDefaultReplyTimeoutMs));
            noReply = reply == ReplyState::NoReply;
            if (reply != ReplyState::Waiting) {
                app.quit();
            }
        }
        // Input lost before anything whole came (a dump whose pieces the
        // service dropped): once the line has been idle as long as after a
        // block, nothing more will come of it, so the wait ends.
        const auto lostNow = midi.LostInputEvents();
        const auto now = std::chrono::steady_clock::now();
        if (lostNow != lostSeen) {
            lostSeen = lostNow;
            lostAt = now;
        }
        const bool lostAndIdle = lostSeen > 0 && recorder.Length() == 0 &&
                                 now - lostAt >= std::chrono::milliseconds(idleMs.value_or(2000));
        if (StopRequested() != 0 || (!requested && (ended || lostAndIdle))) {
            app.quit();
        }
    });
    tick.start(std::clamp(std::min(idleMs.value_or(2000), timeoutMs.value_or(1000)) / 4, 10, 250));
    app.exec();
    const int stoppedBy = StopRequested();
    if (stoppedBy != 0) {
        // What the port took in but has not handed over yet arrived too:
        // closing would drop it. Let it through first, for a short while
        // at most (a device may go on sending).
        const auto* queued = dynamic_cast<const midi::QueuedMidiIn*>(midi.MidiInHandle());
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (queued != nullptr && !queued->Idle() && std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents(); // the record hand-off waits on this thread
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const auto lost = midi.LostInputEvents();
    noteLateCycles();
    const std::uint64_t late = lateUntil - lateBefore;
    session.Shutdown();
    recorder.End();

    const std::vector<std::uint8_t> bytes = recorder.Bytes();
    if (!shown.empty()) {
        std::fprintf(stderr, "\r");
    }
    if (bytes.empty() && noReply) {
        std::fprintf(stderr,
                     "velmora-cli record: no reply came within %d ms of the request sent to "
                     "'%s'; '%s' was not written.\n",
                     timeoutMs.value_or(kDefaultReplyTimeoutMs), TerminalSafe(output.name).c_str(),
                     shownPath.c_str());
        return 1;
    }
    if (bytes.empty()) {
        std::fprintf(stderr,
                     "velmora-cli record: %s No sysex arrived at '%s'; '%s' was not "
                     "written.\n",
                     sysex::kNothingToSave, TerminalSafe(device.name).c_str(), shownPath.c_str());
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
        if (deviceLeft) {
            std::fprintf(stderr, "velmora-cli record: '%s' left\n",
                         TerminalSafe(device.name).c_str());
        }
        return 1;
    }
    if (!quiet) {
        std::fprintf(stderr, "%s\n", recorder.StatusText().c_str());
    }
    const FileResult saved = toStdout ? WriteStandardOutput(bytes) : SaveSysexFile(path, bytes);
    if (!saved) {
        std::fprintf(stderr, "velmora-cli record: %s: %s\n", shownPath.c_str(),
                     Cp1252ToUtf8(FileFaultText(saved, language, FileTask::SysexSave)).c_str());
        return 1;
    }
    if (!quiet) {
        std::fprintf(stderr, "Saved %zu bytes to %s\n", bytes.size(),
                     toStdout ? shownPath.c_str() : ("'" + shownPath + "'").c_str());
    }
    // What was saved is all there is; anything known to be missing is said.
    bool complete = true;
    if (serviceStopped) {
        std::fprintf(stderr,
                     "velmora-cli record: the MIDI service (%s) stopped during the recording; "
                     "whatever was still to come is lost\n",
                     service->Name().c_str());
        complete = false;
    }
    if (deviceLeft) {
        std::fprintf(stderr,
                     "velmora-cli record: '%s' left during the recording; whatever was still "
                     "to come is lost\n",
                     TerminalSafe(device.name).c_str());
        complete = false;
    }
    if (bytes.back() != 0xF7 && stoppedBy != 0) {
        // Saved all the same: what has arrived may be all there is of it.
        std::fprintf(stderr,
                     "velmora-cli record: interrupted by %s while a sysex message was "
                     "arriving: it was cut after %zu bytes (no F7); the %zu bytes saved are an "
                     "incomplete recording\n",
                     SignalName(stoppedBy), LastMessageBytes(bytes), bytes.size());
        complete = false;
    } else if (bytes.back() != 0xF7) {
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
    if (late > 0) {
        // Said, not counted as a loss: a server without realtime rights runs
        // late often, mostly in cycles that carried nothing of the dump.
        std::fprintf(stderr,
                     "velmora-cli record: warning: the MIDI service (%s) ran late %llu times "
                     "while the sysex arrived, and drops what a late cycle carries: compare "
                     "the file with what was sent\n",
                     service->Name().c_str(), static_cast<unsigned long long>(late));
    }
    return complete ? 0 : 1;
}

} // namespace velmora::cli
