#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/device_commands.h"
#include "cli/input_set.h"
#include "cli/live_lint.h"
#include "cli/monitor_printer.h"
#include "cli/options.h"
#include "core/device_choice.h"
#include "core/device_watch.h"
#include "core/message_filter.h"
#include "core/stop_signal.h"
#include "core/terminal_text.h"
#include "midi/midi_session.h"
#include "midi/service_factory.h"

namespace velmora::cli {
namespace {

constexpr const char* kMonitorHelp =
    "Usage: velmora-cli monitor -i IN [-i IN2]... | --virtual NAME\n"
    "                           [-o OUT [--thru-channel 0..16] [--no-loop-guard]]\n"
    "                           [--details] [--lint]\n"
    "                           [--raw | --json] [--timestamp abs|delta|none]\n"
    "                           [--only KINDS] [--hide KINDS] [--channel LIST]\n"
    "                           [-a alsa|jack|demo]\n"
    "\n"
    "Shows what arrives at MIDI input N, as Velmora's monitors do, until\n"
    "interrupted (Ctrl-C or SIGTERM):\n"
    "  - every short message as an events-history line behind the\n"
    "    milliseconds since the start (timing clock and active sensing are\n"
    "    not shown unless --only names them);\n"
    "  - every sysex block of up to 4096 bytes as \"Block #n (k bytes)\" and\n"
    "    its bytes in hexadecimal.\n"
    "\n"
    "Several -i watch several inputs at once: each message is shown once,\n"
    "in the order it arrived at its input, with the input's name after the\n"
    "time column (with --json a \"source\" member); sysex blocks are counted\n"
    "per input. Thru, the loop guard and the 'left' and 'is back' notices\n"
    "follow the first input; the others are taken up again as well when they\n"
    "come back.\n"
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
    "With --lint, faults in the stream are warned about on standard error:\n"
    "notes still on 2 s after the input went quiet or when it closes, data\n"
    "entry without an RPN or NRPN selected, a sysex message cut by a status\n"
    "byte or not ended within 2 s, a clock interval more than 10% off the mean\n"
    "of the last 24, and active sensing that stops for more than 300 ms.\n"
    "When a lasting fault ends (the notes are released, the clock is steady\n"
    "for 24 clocks, sensing resumes) an \"over:\" line says so.\n"
    "\n"
    "Output (standard output carries only the messages):\n"
    "  --timestamp abs     milliseconds since the start in front of each line\n"
    "                      (the default); delta: since the line before; none\n"
    "  --raw               the exact bytes received, in hexadecimal, one\n"
    "                      message or sysex block per line\n"
    "  --json              one JSON object per line (JSON Lines): time, kind,\n"
    "                      channel (1-16, channel messages only), bytes, note\n"
    "                      or controller and its name, value (14-bit for pitch\n"
    "                      bend and song position), details; sysex blocks with\n"
    "                      their block number and length\n"
    "\n"
    "Filters (KINDS and LIST separated by commas):\n"
    "  --only KINDS        show only these kinds of message\n"
    "  --hide KINDS        do not show these\n"
    "  --channel LIST      channel messages of these channels only, as 1,2,10-16\n"
    "KINDS: note, cc, pc, pb, at (aftertouch), sysex, clock, sense (active\n"
    "sensing), realtime (start, continue, stop, reset), common (time code, song\n"
    "position and select, tune request). Clock and sense are shown only when\n"
    "--only names them.\n"
    "\n"
    "IN and OUT (-i, --in; -o, --out) are device numbers of 'velmora-cli list',\n"
    "device names, or a part of one name (any case).\n"
    "With --virtual NAME, instead of an input device, velmora-cli makes an input\n"
    "port of its own called NAME (ALSA, JACK) that other programs send to: under\n"
    "JACK \"Velmora:NAME\" (\"Velmora-01:NAME-01\" when another Velmora has a\n"
    "port NAME), under ALSA a client NAME with a port NAME. NAME: 1 to 60 bytes,\n"
    "no ':'.\n"
    "When what thru passes on comes back at the input (a feedback loop), thru\n"
    "is switched off and standard error says so; monitoring goes on. Where\n"
    "the MIDI service shows no way from OUT back to IN, nothing is ever\n"
    "switched off and nothing but the input goes to OUT. Where it can't tell\n"
    "(hardware), a pattern that repeats like a loop may make thru send one\n"
    "short sysex message for no manufacturer (F0 7D 56 4C 4D 00 F7) that only\n"
    "a loop brings back, and after one that did not come back none for\n"
    "minutes. --no-loop-guard: never watch for loops, never send that message.\n"
    "When the input device leaves, standard error says so and monitoring waits\n"
    "for it: a device of the same name that comes back is taken up again.\n"
    "\n"
    "Exit status: 0 after an interrupt (Ctrl-C, SIGTERM, SIGHUP), 1 when a port\n"
    "can't be opened, the MIDI service stops or standard output can't be\n"
    "written (a full disk), 2 for a bad command line or a device that does not\n"
    "exist.\n";

// The output format the command line asks for; sets `o.error` when it can't
// be read.
MonitorFormat ReadFormat(Options& o) {
    MonitorFormat format;
    format.details = o.Has("--details");
    if (o.Has("--raw") && o.Has("--json")) {
        o.error = "--raw and --json can't go together";
    }
    format.output = o.Has("--json")  ? MonitorOutput::Json
                    : o.Has("--raw") ? MonitorOutput::Raw
                                     : MonitorOutput::Text;
    if (const auto time = o.Get("--timestamp")) {
        if (*time == "abs") {
            format.time = TimeColumn::Absolute;
        } else if (*time == "delta") {
            format.time = TimeColumn::Delta;
        } else if (*time == "none") {
            format.time = TimeColumn::None;
        } else if (o.error.empty()) {
            o.error = "--timestamp takes abs, delta or none, not '" + *time + "'";
        }
    }
    std::string error;
    if (const auto only = o.Get("--only"); only && !ParseKinds(*only, format.filter.kinds, error)) {
        o.error = o.error.empty() ? "--only: " + error : o.error;
    }
    if (const auto hide = o.Get("--hide")) {
        std::uint32_t hidden = 0;
        if (!ParseKinds(*hide, hidden, error)) {
            o.error = o.error.empty() ? "--hide: " + error : o.error;
        }
        format.filter.kinds &= ~hidden;
    }
    if (const auto channels = o.Get("--channel");
        channels && !ParseChannels(*channels, format.filter.channels, error)) {
        o.error = o.error.empty() ? "--channel: " + error : o.error;
    }
    return format;
}

} // namespace

int RunMonitor(std::span<const std::string_view> args, int argc, char** argv) {
    std::string inputError;
    std::vector<std::string_view> rest;
    const std::vector<std::string> given = TakeInputs(args, rest, inputError);
    Options o = ParseOptions(rest,
                             {"--in", "--virtual", "--out", "--thru-channel", "--api",
                              "--timestamp", "--only", "--hide", "--channel"},
                             {"--details", "--raw", "--json", "--no-loop-guard", "--lint"});
    if (o.help) {
        // Longer than stdio's buffer: a full disk shows in the write itself,
        // with its reason, which the flush at the end would have lost.
        errno = 0;
        if (std::fputs(kMonitorHelp, stdout) == EOF || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "velmora-cli: cannot write standard output: %s\n",
                         std::strerror(errno != 0 ? errno : EIO));
            return 1;
        }
        return 0;
    }
    if (o.error.empty()) {
        o.error = inputError;
    }
    const auto in = given.empty() ? std::nullopt : std::optional<std::string>(given.front());
    const auto out = o.Get("--out");
    const auto thruChannel = o.GetInt("--thru-channel", 0, 16);
    const MonitorFormat format = ReadFormat(o);
    const auto own = o.Get("--virtual");
    if (o.error.empty() && in && own) {
        o.error = "--in and --virtual can't go together";
    }
    if (o.error.empty() && !in && !own) {
        o.error = "--in N is required (or --virtual NAME)";
    }
    if (const std::string problem = own ? OwnPortNameProblem(*own) : std::string();
        o.error.empty() && !problem.empty()) {
        o.error = "--virtual '" + *own + "': " + problem;
    }
    if (o.error.empty() && thruChannel && !out) {
        o.error = "--thru-channel needs --out";
    }
    if (o.error.empty() && o.Has("--no-loop-guard") && !out) {
        o.error = "--no-loop-guard needs --out";
    }
    o.RefuseArguments();
    if (!o.error.empty()) {
        return UsageError("monitor", o.error);
    }

    auto service = OpenServiceOrComplain("monitor", o);
    if (!service) {
        return 1;
    }
    DeviceChoice input, output;
    if (own && !service->HasVirtualIn()) {
        std::fprintf(stderr,
                     "velmora-cli monitor: the MIDI service (%s) can't make ports of its own\n",
                     service->Name().c_str());
        return 1;
    }
    if (own) {
        input.name = *own;
    } else if (!ChooseDeviceOrComplain("monitor", *service, *in, false, input)) {
        return 2;
    }
    if (out && !ChooseDeviceOrComplain("monitor", *service, *out, true, output)) {
        return 2;
    }
    std::vector<std::string> names = {input.name};
    for (std::size_t i = 1; i < given.size(); ++i) {
        DeviceChoice more;
        if (!ChooseDeviceOrComplain("monitor", *service, given[i], false, more)) {
            return 2;
        }
        if (std::find(names.begin(), names.end(), more.name) != names.end()) {
            return UsageError("monitor", "input '" + TerminalSafe(more.name) + "' given twice");
        }
        names.push_back(more.name);
    }

    QCoreApplication app(argc, argv);
    StderrReporter reporter("velmora-cli monitor");
    MonitorPrinter printer(format, stdout);
    printer.SetSources(names);
    midi::MidiSession session(*service, reporter, printer);
    session.signal().HandleOnRaisingThread(); // no window: print where the messages arrive
    midi::MidiFunctions& midi = session.midi();
    printer.Attach(midi);

    // A terminal shows each line as it comes; a pipe or a file gets the
    // lines in large writes, flushed at least every 50 ms (below).
    if (isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    } else {
        std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{64} << 10);
    }
    session.path().loopGuardOn.store(!o.Has("--no-loop-guard"));
    if (out) {
        midi.MidiOutDeviceName = output.name;
        if (!session.OpenThru(thruChannel.value_or(0))) {
            return 1;
        }
    }
    midi.MidiInDeviceName = input.name;
    midi.OwnInputName = own.value_or("");
    midi::MidiInCallback& callback = session.callback();
    midi::InputCallback deliver = callback.AsCallback();
    LiveLint lint(names.size() > 1 ? names.front() : std::string());
    const bool linting = o.Has("--lint");
    if (linting) {
        deliver = [&, inner = deliver](const midi::InputEvent& event) {
            lint.Feed(event);
            inner(event);
        };
    }
    if (printer.WantsClock()) { // timing clock never reaches the printer otherwise
        deliver = [&, inner = deliver](const midi::InputEvent& event) {
            inner(event);
            if (event.code == midi::InputMessage::Data && event.message == kTimingClock &&
                midi.InputActive.load()) {
                session.signal().Raise(midi::Handed{midi::HandedKind::Clock, kTimingClock, {}});
            }
        };
    }
    if (!midi.OpenMidiIn(deliver)) {
        return 1;
    }
    // The inputs after the first: straight to the printer (and the lint),
    // each on its own delivery thread.
    std::vector<std::unique_ptr<LiveLint>> moreLint;
    for (std::size_t source = 1; source < names.size(); ++source) {
        moreLint.push_back(std::make_unique<LiveLint>(names[source]));
    }
    const bool clock = printer.WantsClock();
    InputSet more(*service, [&](std::size_t index, const midi::InputEvent& event) {
        const std::size_t source = index + 1;
        if (linting) {
            moreLint[index]->Feed(event);
        }
        if (event.code == midi::InputMessage::Data) {
            if (event.message != kTimingClock) {
                printer.Print(source, {midi::HandedKind::Short, event.message, {}});
            } else if (clock) {
                printer.Print(source, {midi::HandedKind::Clock, kTimingClock, {}});
            }
        } else if (event.header != nullptr && event.header->dwBytesRecorded > 0) {
            printer.Print(
                source, {midi::HandedKind::Sysex, 0,
                         std::span(event.header->lpData, std::min(event.header->dwBytesRecorded,
                                                                  event.header->dwBufferLength))});
        }
    });
    for (std::size_t source = 1; source < names.size(); ++source) {
        if (!more.Add(names[source], "monitor")) {
            session.Shutdown();
            return 1;
        }
    }
    std::vector<bool> moreAway(more.Size(), false);

    CatchStopSignals();
    int status = 0;
    // The input device left: its port is closed, and the device list is
    // looked at every 10th tick for one of the same name.
    WatchedDevice watched{input.name, true, false};
    int ticksAway = 0;
    auto isListed = [&] {
        for (int device = 0, count = service->InDeviceCount(); device < count; ++device) {
            if (service->InDeviceName(device) == input.name) {
                return true;
            }
        }
        return false;
    };
    int ticks = 0;
    auto watchMore = [&] {
        ++ticks;
        for (std::size_t i = 0; i < more.Size(); ++i) {
            if (!moreAway[i] && more.Gone(i)) {
                std::fprintf(stderr,
                             "velmora-cli monitor: '%s' left; monitoring goes on and takes it "
                             "up again when it returns\n",
                             TerminalSafe(more.Name(i)).c_str());
                more.CloseOne(i);
                moreAway[i] = true;
            } else if (moreAway[i] && ticks % 10 == 0) {
                const auto listed = midi::InDeviceNames(*service);
                if (std::find(listed.begin(), listed.end(), more.Name(i)) != listed.end() &&
                    more.Reopen(i)) {
                    moreAway[i] = false;
                    std::fprintf(stderr, "velmora-cli monitor: '%s' is back; monitoring it\n",
                                 TerminalSafe(more.Name(i)).c_str());
                }
            }
        }
    };
    auto watchInput = [&] {
        if (own) {
            return; // a port of our own never leaves
        }
        bool portGone = false;
        if (watched.open) {
            const midi::MidiInPort* port = midi.MidiInHandle();
            portGone = port == nullptr || port->Gone();
            if (!portGone) {
                return;
            }
        } else if (++ticksAway % 10 != 0) {
            return;
        }
        const DeviceWatchStep step = WatchDevice(watched, isListed(), portGone);
        if (step.action == DeviceAction::Close || step.action == DeviceAction::CloseAndReopen) {
            midi.CloseMidiIn();
            watched.open = false;
            watched.away = true;
            ticksAway = 0;
        }
        if (step.left) {
            std::fprintf(stderr,
                         "velmora-cli monitor: '%s' left; monitoring goes on and takes it up "
                         "again when it returns\n",
                         TerminalSafe(input.name).c_str());
        }
        if ((step.action == DeviceAction::Reopen || step.action == DeviceAction::CloseAndReopen) &&
            midi.OpenMidiIn(deliver)) {
            watched.open = true;
            watched.away = false;
            if (step.returned) {
                std::fprintf(stderr, "velmora-cli monitor: '%s' is back; monitoring it\n",
                             TerminalSafe(input.name).c_str());
            }
        }
    };
    QTimer poll;
    bool writeFailed = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        printer.PrintRates();
        // A full disk or a closed reader ends the monitoring: a log that
        // silently stops growing would pass for a quiet input.
        errno = 0;
        if (!writeFailed && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
            const int error = errno != 0 ? errno : EIO;
            std::fprintf(stderr,
                         "velmora-cli monitor: cannot write standard output: %s; monitoring "
                         "stopped\n",
                         std::strerror(error));
            writeFailed = true;
            status = 1;
            app.quit();
        }
        if (linting) {
            lint.Tick();
            for (auto& l : moreLint) {
                l->Tick();
            }
        }
        if (session.path().thruLoopBroken.exchange(false)) {
            std::fprintf(stderr,
                         "velmora-cli monitor: thru switched off: what it passed on to '%s' came "
                         "back at '%s' (a feedback loop); monitoring goes on\n",
                         TerminalSafe(output.name).c_str(), TerminalSafe(input.name).c_str());
        }
        if (!service->Running()) {
            std::fprintf(stderr, "velmora-cli monitor: the MIDI service (%s) stopped\n",
                         service->Name().c_str());
            status = 1;
            app.quit();
        } else {
            watchInput();
            watchMore();
        }
        if (StopRequested() != 0) {
            app.quit();
        }
    });
    poll.start(50);
    app.exec();

    more.Close();
    const auto lost = midi.LostInputEvents() + more.LostEvents();
    session.Shutdown();
    std::fflush(stdout);
    if (linting) {
        lint.Close();
        for (auto& l : moreLint) {
            l->Close();
        }
    }
    if (lost > 0) {
        std::fprintf(stderr, "velmora-cli monitor: %llu events could not be delivered\n",
                     static_cast<unsigned long long>(lost));
    }
    return status;
}

} // namespace velmora::cli
