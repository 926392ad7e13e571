// velmora-cli capture: what arrives at one or more MIDI inputs, saved as a
// Standard MIDI File when the capture ends.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cli/capture_command.h"
#include "cli/device_choice.h"
#include "cli/input_set.h"
#include "cli/options.h"
#include "core/capture_log.h"
#include "core/safe_file.h"
#include "core/short_message.h"
#include "core/stop_signal.h"
#include "core/terminal_text.h"
#include "midi/midi_functions.h"
#include "midi/service_factory.h"

namespace velmora::cli {
namespace {

constexpr const char* kCaptureHelp =
    "Usage: velmora-cli capture FILE.mid|- -i N [-i N2]... [--seconds S]\n"
    "                           [--no-realtime] [-q] [-a alsa|jack|demo]\n"
    "\n"
    "Captures everything that arrives at MIDI input N (notes, controllers,\n"
    "clock, system exclusive) and saves it as a Standard MIDI File: type 0 for\n"
    "one input, type 1 with a track per input, named after it, for several.\n"
    "Each event keeps the time the MIDI service gives it (JACK: the time of\n"
    "its frame in the cycle; ALSA and others: its arrival at the input), to a\n"
    "tenth of a millisecond (5000 ticks per quarter note at 120 BPM). Real-\n"
    "time and system common messages are stored as F7 escape events, as the\n"
    "file format has it; some readers\n"
    "refuse those. --no-realtime leaves out the real-time messages (clock,\n"
    "start, continue, stop, active sensing, reset), which they mostly are.\n"
    "\n"
    "The capture runs until an interrupt (Ctrl-C, SIGTERM or SIGHUP) or, with\n"
    "--seconds, for S seconds; the file is then written in one piece, so an\n"
    "existing FILE.mid is only replaced by a complete one. A FILE of '-'\n"
    "writes the file to standard output (not a terminal). At the end the count\n"
    "of events captured is printed on standard error; -q leaves it out.\n"
    "A capture is held in memory until it is written, up to 128 MB (about two\n"
    "million events); one that reaches that limit stops there and is written.\n"
    "\n"
    "Exit status: 0 when the file was written, 1 when an input can't be opened,\n"
    "the MIDI service stops or the file can't be written, 2 for a bad command\n"
    "line.\n";

// What the inputs delivered. Deliver runs on each input's delivery thread
// (InputSet), never the real-time thread, so it may take the lock and
// allocate.
class Capture {
  public:
    Capture(bool realTime, std::size_t inputs)
        : log_(inputs, realTime), start_(midi::InputClockMicros()) {}

    void Deliver(std::size_t source, const midi::InputEvent& event) {
        const std::uint64_t now = TimeOf(event);
        if (event.code == midi::InputMessage::Data) {
            std::lock_guard lock(lock_);
            log_.AddShort(source, now, event.message);
            return;
        }
        midi::MidiHeader* h = event.header;
        if (h == nullptr || h->dwBytesRecorded == 0) {
            return; // handed back empty at a reset
        }
        std::lock_guard lock(lock_);
        log_.AddSysexBlock(source, now, std::span(h->lpData, h->dwBytesRecorded));
    }

    // Once every input is closed: a message never ended is kept as it came.
    std::vector<std::uint8_t> FileBytes(std::span<const std::string> names) {
        std::lock_guard lock(lock_);
        log_.FlushSysex();
        return CaptureFileBytes(log_, names);
    }
    std::size_t Count() {
        std::lock_guard lock(lock_);
        return log_.Count();
    }
    // Events left out once the capture reached its limit; above 0 ends it.
    std::uint64_t Refused() {
        std::lock_guard lock(lock_);
        return log_.Refused();
    }

  private:
    // The service's time of the event, from the start of the capture.
    std::uint64_t TimeOf(const midi::InputEvent& event) const {
        const std::uint64_t at = event.micros != 0 ? event.micros : midi::InputClockMicros();
        return at > start_ ? at - start_ : 0;
    }

    std::mutex lock_;
    CaptureLog log_;
    const std::uint64_t start_; // on the input clock
};

bool WriteStandardOutput(std::span<const std::uint8_t> bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

} // namespace

int RunCapture(std::span<const std::string_view> args) {
    std::string inputError;
    std::vector<std::string_view> rest;
    const std::vector<std::string> given = TakeInputs(args, rest, inputError);
    Options o = ParseOptions(rest, {"--seconds", "--api"}, {"--quiet", "--no-realtime"});
    if (o.help) {
        std::fputs(kCaptureHelp, stdout);
        return 0;
    }
    if (o.error.empty()) {
        o.error = inputError;
    }
    double seconds = 0;
    if (const auto s = o.Get("--seconds"); s && o.error.empty()) {
        char* end = nullptr;
        seconds = std::strtod(s->c_str(), &end);
        if (s->empty() || *end != '\0' || !(seconds > 0 && seconds <= 31'536'000)) {
            o.error = "--seconds takes a number of seconds above 0, not '" + *s + "'";
        }
    }
    if (o.error.empty() && given.empty()) {
        o.error = "-i N is required";
    }
    if (o.error.empty() && o.positional.size() != 1) {
        o.error = o.positional.empty() ? "the file to capture to is missing"
                                       : "only one file can be captured to";
    }
    const bool toStdout = o.error.empty() && o.positional.front() == "-";
    if (toStdout && isatty(STDOUT_FILENO)) {
        o.error = "standard output is a terminal; send the MIDI file to a file or a pipe";
    }
    if (!o.error.empty()) {
        return UsageError("capture", o.error);
    }
    const std::string path = o.positional.front();
    const std::string shownPath = toStdout ? "standard output" : TerminalSafe(path);
    if (!toStdout) {
        // Fail before capturing what could not be saved.
        if (const FileResult can = CheckReplaceable(path); !can) {
            std::fprintf(stderr, "velmora-cli capture: can't write '%s': %s\n", shownPath.c_str(),
                         FileFaultText(can).c_str());
            return 1;
        }
    }

    auto service = OpenServiceOrComplain("capture", o);
    if (!service) {
        return 1;
    }
    std::vector<std::string> names;
    for (const std::string& device : given) {
        DeviceChoice choice;
        if (!ChooseDeviceOrComplain("capture", *service, device, false, choice)) {
            return 2;
        }
        if (std::find(names.begin(), names.end(), choice.name) != names.end()) {
            return UsageError("capture", "input '" + TerminalSafe(choice.name) + "' given twice");
        }
        names.push_back(choice.name);
    }

    Capture capture(!o.Has("--no-realtime"), names.size());
    InputSet inputs(*service, [&capture](std::size_t source, const midi::InputEvent& e) {
        capture.Deliver(source, e);
    });
    CatchStopSignals();
    bool opened = true;
    for (const std::string& name : names) {
        if (!inputs.Add(name, "capture")) {
            opened = false;
            break;
        }
    }

    const bool quiet = o.Has("--quiet");
    const bool terminal = !quiet && isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    bool serviceStopped = false;
    std::size_t shown = 0;
    // The main thread only watches: the inputs' delivery threads capture.
    while (opened && StopRequested() == 0) {
        if (!service->Running()) {
            serviceStopped = true;
            break;
        }
        if (seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >=
                seconds) {
            break;
        }
        if (capture.Refused() > 0) {
            break; // full: written as it is
        }
        if (terminal && capture.Count() != shown) {
            shown = capture.Count();
            std::fprintf(stderr, "\r%zu events captured", shown);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    inputs.Close();
    const std::uint64_t lost = inputs.LostEvents();
    if (shown > 0) {
        std::fprintf(stderr, "\n");
    }
    if (!opened) {
        return 1;
    }
    if (serviceStopped) {
        std::fprintf(stderr, "velmora-cli capture: the MIDI service (%s) stopped\n",
                     service->Name().c_str());
    }

    const std::vector<std::uint8_t> bytes = capture.FileBytes(names);
    const std::size_t captured = capture.Count();
    if (const std::uint64_t refused = capture.Refused(); refused > 0) {
        std::fprintf(stderr,
                     "velmora-cli capture: the capture reached its limit of %s and stopped; "
                     "%llu later events are not in the file\n",
                     CaptureLog::kLimitText, static_cast<unsigned long long>(refused));
    }
    if (toStdout) {
        if (!WriteStandardOutput(bytes)) {
            std::fprintf(stderr, "velmora-cli capture: can't write to standard output\n");
            return 1;
        }
    } else if (const FileResult saved = ReplaceFile(path, bytes); !saved) {
        std::fprintf(stderr, "velmora-cli capture: can't write '%s': %s\n", shownPath.c_str(),
                     FileFaultText(saved).c_str());
        return 1;
    }
    if (!quiet) {
        std::fprintf(stderr, "%zu events from %zu input%s written to %s\n", captured, names.size(),
                     names.size() == 1 ? "" : "s", shownPath.c_str());
    }
    if (lost > 0) {
        std::fprintf(stderr, "velmora-cli capture: %llu events could not be captured\n",
                     static_cast<unsigned long long>(lost));
    }
    return serviceStopped ? 1 : 0;
}

} // namespace velmora::cli
