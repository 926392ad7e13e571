// velmora-cli loopback: numbered probes out through a cable or device and
// back in, and what became of them.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/device_choice.h"
#include "cli/input_set.h"
#include "cli/loopback_command.h"
#include "cli/options.h"
#include "cli/output_pacing.h"
#include "core/loopback_stats.h"
#include "core/stop_signal.h"
#include "core/terminal_text.h"
#include "midi/probe_loop.h"

namespace velmora::cli {
namespace {

constexpr const char* kLoopbackHelp =
    "Usage: velmora-cli loopback -o OUT -i IN [--count N] [--rate R]\n"
    "                            [--sysex BYTES] [--wait-ms MS] [-q]\n"
    "                            [-a alsa|jack|demo]\n"
    "\n"
    "Tests a way from output OUT back to input IN (a cable, a MIDI thru, a\n"
    "loopback port): sends N numbered probes (1000 by default) at R a second\n"
    "(100 by default), listens for them at IN and reports on standard output\n"
    "how many were sent, received, lost, duplicated, reordered and damaged,\n"
    "the round-trip latency (minimum, median, 99th percentile, maximum, in\n"
    "milliseconds) and its jitter (the mean change from one probe to the\n"
    "next).\n"
    "\n"
    "The probes are song position pointers (F2) carrying the probe's number:\n"
    "nothing sounds or changes on an instrument. Other messages that arrive\n"
    "are left out. With --sysex BYTES each probe is a system exclusive\n"
    "message of BYTES bytes (8 to 1048576; for no manufacturer, F0 7D) checked\n"
    "byte for byte: a dump that comes back changed counts as damaged; N is 10\n"
    "and R 10 by default then.\n"
    "After the last probe the command waits for the rest until MS milliseconds\n"
    "(2000 by default) pass with nothing coming back. -q leaves out the\n"
    "progress on standard error.\n"
    "\n"
    "Exit status: 0 when every probe came back once, whole and in order, 1\n"
    "when any was lost, duplicated, reordered or damaged, a port can't be\n"
    "opened or the test was interrupted, 2 for a bad command line.\n";

constexpr std::size_t kBlockBytes = 4096;

// What comes back. Deliver runs on the input's delivery thread; the main
// thread sends and reads the arrivals under the lock.
class Listener {
  public:
    Listener(std::size_t count, std::size_t sysexBytes) : sent_(count), back_(sysexBytes) {}

    // Main thread: probe `n` goes out now.
    void Sending(std::uint32_t n) {
        std::lock_guard lock(lock_);
        sent_[n] = static_cast<std::int64_t>(midi::InputClockMicros());
        sentCount_ = n + 1;
    }

    // Every arrival is told to `loop`, which waits for the stragglers.
    void Deliver(const midi::InputEvent& event, midi::ProbeLoop& loop) {
        const auto now = static_cast<std::int64_t>(midi::InputClockMicros());
        std::lock_guard lock(lock_);
        const std::size_t from = back_.Arrivals().size();
        if (event.code == midi::InputMessage::Data) {
            back_.Short(event.message, sentCount_, now);
        } else if (const midi::MidiHeader* h = event.header) {
            back_.Block(std::span(h->lpData, std::min(h->dwBytesRecorded, h->dwBufferLength)),
                        sentCount_, now);
        }
        for (std::size_t i = from; i < back_.Arrivals().size(); ++i) {
            loop.Arrived(back_.Arrivals()[i].number);
        }
    }
    LoopbackReport Report() {
        std::lock_guard lock(lock_);
        back_.End(sentCount_, 0);
        return SummarizeLoopback(std::span(sent_).first(sentCount_), back_.Arrivals());
    }

  private:
    std::mutex lock_;
    std::vector<std::int64_t> sent_;
    std::uint32_t sentCount_ = 0;
    LoopbackCollector back_;
};

std::optional<double> ReadNumber(Options& o, const char* name, double min, double max) {
    const auto text = o.Get(name);
    if (!text || !o.error.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !(value >= min && value <= max)) {
        o.error = std::string(name) + " takes a number from " + std::to_string(int(min)) + " to " +
                  std::to_string(int(max)) + ", not '" + *text + "'";
        return std::nullopt;
    }
    return value;
}

} // namespace

int RunLoopback(std::span<const std::string_view> args) {
    Options o = ParseOptions(
        args, {"--out", "--in", "--count", "--rate", "--sysex", "--wait-ms", "--api"}, {"--quiet"});
    if (o.help) {
        std::fputs(kLoopbackHelp, stdout);
        return 0;
    }
    const auto out = o.Get("--out");
    const auto in = o.Get("--in");
    if (o.error.empty() && (!out || !in)) {
        o.error = "-o OUT and -i IN are required";
    }
    const auto sysex = ReadNumber(o, "--sysex", 8, 1 << 20);
    const bool dumps = sysex.has_value();
    const auto count = ReadNumber(o, "--count", 1, 1'000'000);
    const auto rate = ReadNumber(o, "--rate", 1, 100'000);
    const auto waitMs = ReadNumber(o, "--wait-ms", 0, 600'000);
    o.RefuseArguments();
    if (!o.error.empty()) {
        return UsageError("loopback", o.error);
    }
    const auto probes = static_cast<std::uint32_t>(count.value_or(dumps ? 10 : 1000));
    const double perSecond = rate.value_or(dumps ? 10 : 100);
    const auto sysexBytes = static_cast<std::size_t>(sysex.value_or(0));

    auto service = OpenServiceOrComplain("loopback", o);
    if (!service) {
        return 1;
    }
    DeviceChoice output, input;
    if (!ChooseDeviceOrComplain("loopback", *service, *out, true, output) ||
        !ChooseDeviceOrComplain("loopback", *service, *in, false, input)) {
        return 2;
    }
    // After the last probe the rest has the waiting time to come back, from
    // the last one heard.
    midi::ProbeLoop loop(probes, perSecond,
                         std::chrono::milliseconds(static_cast<int>(waitMs.value_or(2000))));
    Listener listener(probes, sysexBytes);
    InputSet inputs(*service, [&listener, &loop](std::size_t, const midi::InputEvent& e) {
        listener.Deliver(e, loop);
    });
    CatchStopSignals();
    if (!inputs.Add(input.name, "loopback")) {
        return 1;
    }
    auto port = service->OpenOut(output.name);
    if (!port) {
        std::fprintf(stderr, "velmora-cli loopback: can't open the MIDI output '%s'\n",
                     TerminalSafe(output.name).c_str());
        return 1;
    }

    const bool quiet = o.Has("--quiet");
    bool sent = true;
    const auto n = static_cast<std::uint32_t>(loop.Run(
        [&](std::uint32_t probe) {
            listener.Sending(probe);
            if (dumps) {
                const std::vector<std::uint8_t> bytes = LoopbackSysexProbe(probe, sysexBytes);
                for (std::size_t at = 0; sent && at < bytes.size(); at += kBlockBytes) {
                    sent = port->SendLong(
                        std::span(bytes).subspan(at, std::min(kBlockBytes, bytes.size() - at)));
                }
            } else {
                sent = SendPatiently(*port, LoopbackProbe(probe));
            }
            if (!quiet && (probe + 1) % 100 == 0) {
                std::fprintf(stderr, "%u probes sent, %zu back\n", probe + 1, loop.Back());
            }
            return sent;
        },
        [] { return StopRequested() != 0; }));
    const bool interrupted = StopRequested() != 0;
    port->Close();
    inputs.Close();

    const LoopbackReport report = listener.Report();
    std::fputs(LoopbackReportText(report).c_str(), stdout);
    std::fflush(stdout);
    if (!sent) {
        std::fprintf(stderr, "velmora-cli loopback: '%s' did not take probe %u\n",
                     TerminalSafe(output.name).c_str(), n - 1);
    }
    if (interrupted) {
        std::fprintf(stderr, "velmora-cli loopback: interrupted after %u probes\n", n);
    }
    if (inputs.LostEvents() > 0) {
        std::fprintf(stderr, "velmora-cli loopback: %llu events could not be received\n",
                     static_cast<unsigned long long>(inputs.LostEvents()));
    }
    return sent && !interrupted && report.Clean() && report.sent == probes ? 0 : 1;
}

} // namespace velmora::cli
