// velmora-cli play: a Standard MIDI File to an output, with its timing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/output_pacing.h"
#include "cli/playback_commands.h"
#include "core/midi_file.h"
#include "core/note_tracker.h"
#include "core/safe_file.h"
#include "core/stop_signal.h"
#include "core/terminal_text.h"

namespace velmora::cli {
namespace {

constexpr const char* kPlayHelp =
    "Usage: velmora-cli play FILE.mid|- -o M [--speed X] [-q] [-a alsa|jack|demo]\n"
    "\n"
    "Plays a Standard MIDI File (type 0, 1 or 2) to MIDI output M with its\n"
    "timing: tempo changes, SMPTE time, running status and system exclusive\n"
    "(F0 events, and F7 escapes sent as they are). --speed X plays X times as\n"
    "fast (0.01 to 100; default 1). A type 2 file's tracks play one after the\n"
    "other. A FILE of '-' reads standard input.\n"
    "\n"
    "An interrupt (Ctrl-C, SIGTERM or SIGHUP) stops the playing: a note-off\n"
    "goes out for every note still on, then All Notes Off and the sustain\n"
    "pedal up on the channels the file used.\n"
    "\n"
    "Exit status: 0 when the file was played to its end, 1 when it can't be\n"
    "read, the output can't be opened or took not all, 2 for a bad command\n"
    "line, 128 + the signal's number when interrupted (130 for Ctrl-C).\n";

constexpr std::size_t kMaxMidiFileBytes = std::size_t{64} << 20;

FileContents ReadStandardInput() {
    FileContents contents;
    std::uint8_t chunk[65536];
    while (true) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, stdin);
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + n);
        if (contents.bytes.size() > kMaxMidiFileBytes) {
            contents.result.fault = FileFault::TooLarge;
            return contents;
        }
        if (n < sizeof chunk) {
            if (std::ferror(stdin) != 0) {
                contents.result = {FileFault::Short, 0};
            }
            return contents;
        }
    }
}

// Sends one event; meta events are not sent.
bool SendEvent(midi::MidiOutPort& port, const MidiFileEvent& e, NoteTracker& played) {
    switch (e.kind) {
    case MidiFileEventKind::Midi:
        played.Feed(e.bytes);
        return SendPatiently(port, PackShortMessage(e.bytes[0], e.bytes.size() > 1 ? e.bytes[1] : 0,
                                                    e.bytes.size() > 2 ? e.bytes[2] : 0));
    case MidiFileEventKind::Escape: {
        if (e.bytes.empty()) {
            return true;
        }
        const std::uint8_t status = e.bytes[0];
        // A whole short system message goes as one; anything else (a sysex
        // continuation, raw bytes) as it is.
        if (status > 0xF0 && status != 0xF7 &&
            e.bytes.size() == static_cast<std::size_t>(ShortMessageBytes(status))) {
            return SendPatiently(port, PackShortMessage(status, e.bytes.size() > 1 ? e.bytes[1] : 0,
                                                        e.bytes.size() > 2 ? e.bytes[2] : 0));
        }
        return port.SendLong(e.bytes);
    }
    case MidiFileEventKind::Sysex:
        return port.SendLong(e.bytes);
    case MidiFileEventKind::Meta:
        return true;
    }
    return true;
}

} // namespace

int RunPlay(std::span<const std::string_view> args) {
    Options o = ParseOptions(args, {"--out", "--api", "--speed"}, {"--quiet"});
    if (o.help) {
        std::fputs(kPlayHelp, stdout);
        return 0;
    }
    const auto out = o.Get("--out");
    double speed = 1;
    if (const auto s = o.Get("--speed"); s && o.error.empty()) {
        char* end = nullptr;
        speed = std::strtod(s->c_str(), &end);
        if (s->empty() || *end != '\0' || !(speed >= 0.01 && speed <= 100)) {
            o.error = "--speed takes a number from 0.01 to 100, not '" + *s + "'";
        }
    }
    if (o.error.empty() && !out) {
        o.error = "-o M is required";
    }
    if (o.error.empty() && o.positional.size() != 1) {
        o.error =
            o.positional.empty() ? "the file to play is missing" : "only one file can be played";
    }
    if (!o.error.empty()) {
        return UsageError("play", o.error);
    }
    const std::string path = o.positional.front();
    const bool fromStdin = path == "-";
    const std::string shownPath = fromStdin ? "standard input" : TerminalSafe(path);
    const FileContents contents =
        fromStdin ? ReadStandardInput() : ReadRegularFile(path, kMaxMidiFileBytes);
    if (!contents.result) {
        std::fprintf(stderr, "velmora-cli play: %s: %s\n", shownPath.c_str(),
                     FileFaultText(contents.result).c_str());
        return 1;
    }
    const MidiFileReading reading = ReadMidiFile(contents.bytes);
    if (!reading.error.empty()) {
        std::fprintf(stderr, "velmora-cli play: %s: %s\n", shownPath.c_str(),
                     reading.error.c_str());
        return 1;
    }
    const std::vector<TimedFileEvent> events = TimeMidiFile(reading.file);

    auto service = OpenServiceOrComplain("play", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device;
    if (!ChooseDeviceOrComplain("play", *service, *out, true, device)) {
        return 2;
    }
    auto port = service->OpenOut(device.name);
    if (!port) {
        std::fprintf(stderr, "velmora-cli play: can't open the MIDI output '%s'\n",
                     TerminalSafe(device.name).c_str());
        return 1;
    }

    CatchStopSignals();
    NoteTracker played;
    bool sendFailed = false;
    std::size_t sent = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const TimedFileEvent& t : events) {
        if (t.event->kind == MidiFileEventKind::Meta) {
            continue;
        }
        const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double, std::micro>(
                                         static_cast<double>(t.microseconds) / speed));
        // In steps of at most 50 ms, so that an interrupt stops a long wait.
        while (StopRequested() == 0 && std::chrono::steady_clock::now() < due) {
            std::this_thread::sleep_until(
                std::min(due, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
        }
        if (StopRequested() != 0) {
            break;
        }
        if (!SendEvent(*port, *t.event, played)) {
            sendFailed = true;
            break;
        }
        ++sent;
    }
    const int stopSignal = StopRequested();
    const bool interrupted = stopSignal != 0;
    if (interrupted || sendFailed) {
        SendPatiently(*port, StopMessages(played));
    }
    // A port takes messages it then cannot deliver (its device left, the
    // server dropped them): those count as not played.
    const std::uint64_t unsent = port->UnsentBytes(); // waits for what is queued
    const bool gone = port->Gone();
    const bool closed = port->Close();
    if (sendFailed || !closed || gone || unsent > 0) {
        std::fprintf(stderr, "velmora-cli play: '%s' did not take every message%s\n",
                     TerminalSafe(device.name).c_str(), gone ? ": the device left" : "");
        return 1;
    }
    if (!o.Has("--quiet")) {
        std::fprintf(stderr, "%zu events of %s played to '%s'%s\n", sent, shownPath.c_str(),
                     TerminalSafe(device.name).c_str(), interrupted ? " (interrupted)" : "");
    }
    return interrupted ? 128 + stopSignal : 0;
}

} // namespace velmora::cli
