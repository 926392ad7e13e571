// `velmora-cli loopback` against the shortest way JACK has, in one run on
// one server:
//  - a direct loop: a bare client whose "out" is connected to its own "in",
//    sending a probe every few cycles from its process callback and timing
//    its return in the server's frames;
//  - `velmora-cli loopback` through a pass-through: a client that sends on
//    "out", in the same cycle, whatever reaches its "in" (tests/jack's peer).
// It prints the round trip of each (minimum, median, maximum) in periods and
// milliseconds, and the command's minus the direct loop's in periods, with
// the load average beside it (the command's times are wall-clock times on
// its input thread; the direct loop's are the server's frames) and the
// cycles the server ran late during each.
//
//   bench/run-jack-bench BUILD loopback_bench [COUNT]
//
// COUNT probes each way (1,000).
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "jack_peer.h"
#include "support/child_process.h"
#include "support/eventually.h"

using velmora::jacktest::JackPeer;
using velmora::testing::ChildProcess;
using velmora::testing::Eventually;
using namespace std::chrono_literals;

namespace {

const std::string kCli = VELMORA_CLI;

// A client looping its own output to its input. Every kEvery-th cycle the
// callback sends probe n (F2 with n's 14 bits) at the cycle's first frame
// and notes when each comes back; the arrays are sized before it starts, so
// the callback neither locks nor allocates.
class DirectLoop {
  public:
    static constexpr std::uint32_t kEvery = 4;

    explicit DirectLoop(std::uint32_t count) : sentAt_(count), backAt_(count) {}
    ~DirectLoop() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }

    bool Open(std::string* error) {
        jack_status_t status{};
        client_ = jack_client_open("direct loop", JackNoStartServer, &status);
        if (client_ == nullptr) {
            *error = "no JACK server (status " + std::to_string(status) + ")";
            return false;
        }
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &DirectLoop::Process, this);
        jack_set_xrun_callback(
            client_,
            [](void* self) {
                static_cast<DirectLoop*>(self)->xruns_.fetch_add(1);
                return 0;
            },
            this);
        if (out_ == nullptr || in_ == nullptr || jack_activate(client_) != 0 ||
            jack_connect(client_, jack_port_name(out_), jack_port_name(in_)) != 0) {
            *error = "can't loop the client's own ports";
            return false;
        }
        return true;
    }
    void Start() { running_.store(true); }
    bool Done() const {
        return back_.load() >= sentAt_.size() || sent_.load() >= sentAt_.size() + 64;
    }
    std::uint32_t Back() const { return back_.load(); }
    // Round trips in frames, of the probes that came back.
    std::vector<std::int64_t> Frames() const {
        std::vector<std::int64_t> frames;
        for (std::size_t n = 0; n < sentAt_.size(); ++n) {
            if (backAt_[n].load() != 0) {
                frames.push_back(std::int64_t{backAt_[n].load()} - sentAt_[n].load());
            }
        }
        return frames;
    }
    jack_client_t* Client() const { return client_; }
    // Cycles the server ran late: it drops or repeats their MIDI, and the
    // figures of a run with any are the machine's more than the way's.
    std::uint64_t XRuns() const { return xruns_.load(); }

  private:
    static int Process(jack_nframes_t frames, void* arg) {
        static_cast<DirectLoop*>(arg)->Cycle(frames);
        return 0;
    }
    void Cycle(jack_nframes_t frames) {
        const jack_nframes_t cycleStart = jack_last_frame_time(client_);
        void* in = jack_port_get_buffer(in_, frames);
        for (std::uint32_t i = 0, n = jack_midi_get_event_count(in); i < n; ++i) {
            jack_midi_event_t e{};
            if (jack_midi_event_get(&e, in, i) == 0 && e.size == 3 && e.buffer[0] == 0xF2) {
                const std::uint32_t number = e.buffer[1] | (std::uint32_t{e.buffer[2]} << 7);
                if (number < backAt_.size() && backAt_[number].load() == 0) {
                    backAt_[number].store(cycleStart + e.time);
                    back_.fetch_add(1);
                }
            }
        }
        void* out = jack_port_get_buffer(out_, frames);
        jack_midi_clear_buffer(out);
        const std::uint32_t n = sent_.load();
        if (!running_.load() || ++cycles_ % kEvery != 0 || n >= sentAt_.size() + 64) {
            return;
        }
        sent_.store(n + 1);
        if (n >= sentAt_.size()) {
            return; // a few cycles more for the last to come back
        }
        const jack_midi_data_t probe[3] = {0xF2, static_cast<jack_midi_data_t>(n & 0x7F),
                                           static_cast<jack_midi_data_t>((n >> 7) & 0x7F)};
        if (jack_midi_event_write(out, 0, probe, 3) == 0) {
            sentAt_[n].store(cycleStart);
        }
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<std::uint64_t> xruns_{0};
    std::uint64_t cycles_ = 0; // the callback's alone
    std::atomic<std::uint32_t> sent_{0};
    std::atomic<std::uint32_t> back_{0};
    std::vector<std::atomic<std::int64_t>> sentAt_;
    std::vector<std::atomic<std::int64_t>> backAt_;
};

struct Figures {
    double minimum = 0, median = 0, maximum = 0; // milliseconds
};

Figures FromFrames(std::vector<std::int64_t> frames, double rate) {
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) {
        return {};
    }
    const auto ms = [rate](std::int64_t f) { return static_cast<double>(f) * 1000.0 / rate; };
    return {ms(frames.front()), ms(frames[(frames.size() - 1) / 2]), ms(frames.back())};
}

void Print(const char* name, const Figures& f, double periodMs) {
    std::printf("%-34s min %7.3f ms (%5.2f periods)  median %7.3f ms (%5.2f)  max %7.3f ms "
                "(%5.2f)\n",
                name, f.minimum, f.minimum / periodMs, f.median, f.median / periodMs, f.maximum,
                f.maximum / periodMs);
}

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint32_t count =
        argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000;
    if (count == 0 || count > 16384) {
        std::fprintf(stderr, "loopback_bench: COUNT is 1 to 16384\n");
        return 2;
    }
    std::string error;
    DirectLoop direct(count);
    if (!direct.Open(&error)) {
        std::fprintf(stderr, "loopback_bench: %s\n", error.c_str());
        return 1;
    }
    const double rate = jack_get_sample_rate(direct.Client());
    const jack_nframes_t period = jack_get_buffer_size(direct.Client());
    const double periodMs = period * 1000.0 / rate;
    std::printf("JACK: %u frames a period at %.0f Hz (%.3f ms); load average %.2f on %ld cores\n",
                period, rate, periodMs, LoadAverage(), sysconf(_SC_NPROCESSORS_ONLN));

    const std::uint64_t lateBefore = direct.XRuns();
    direct.Start();
    if (!Eventually([&] { return direct.Done(); }, 120s)) {
        std::fprintf(stderr, "loopback_bench: the direct loop did not finish\n");
        return 1;
    }
    const Figures loop = FromFrames(direct.Frames(), rate);
    std::printf("direct loop: %u of %u back, %llu late cycles\n", direct.Back(), count,
                static_cast<unsigned long long>(direct.XRuns() - lateBefore));

    auto cable = JackPeer::Open("pass-through", &error);
    if (!cable) {
        std::fprintf(stderr, "loopback_bench: %s\n", error.c_str());
        return 1;
    }
    cable->SetEcho(true);
    // The same pace as the direct loop's: a probe every four periods.
    const double perSecond = 1000.0 / (periodMs * DirectLoop::kEvery);
    ChildProcess cli({kCli, "loopback", "-q", "--api", "jack", "-o", cable->InPort(), "-i",
                      cable->OutPort(), "--count", std::to_string(count), "--rate",
                      std::to_string(perSecond), "--wait-ms", "1000"});
    const std::uint64_t cableLate = cable->XRuns();
    const int status = cli.Wait(600s);
    const std::string report = cli.Output();
    std::printf("velmora-cli loopback (exit %d), %llu late cycles, load average %.2f:\n%s", status,
                static_cast<unsigned long long>(cable->XRuns() - cableLate), LoadAverage(),
                report.c_str());
    std::smatch m;
    const std::regex latency(
        R"(latency: min ([0-9.]+) ms, median ([0-9.]+) ms, p99 ([0-9.]+) ms, max ([0-9.]+) ms)");
    if (!std::regex_search(report, m, latency)) {
        std::fprintf(stderr, "loopback_bench: no latency in the report\n%s", cli.Errors().c_str());
        return 1;
    }
    const Figures command{std::stod(m[1]), std::stod(m[2]), std::stod(m[4])};

    Print("direct loop (server frames)", loop, periodMs);
    Print("velmora-cli through a pass-through", command, periodMs);
    std::printf("velmora-cli minus direct loop: min %+.2f periods, median %+.2f periods, "
                "max %+.2f periods\n",
                (command.minimum - loop.minimum) / periodMs,
                (command.median - loop.median) / periodMs,
                (command.maximum - loop.maximum) / periodMs);
    return status == 0 ? 0 : 1;
}
