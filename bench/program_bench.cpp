// The real programs under load, side by side in one run: the velmora window
// on an X server of its own (Xvfb) with thru on, then `velmora-cli monitor`
// with thru, each fed by a JACK client that plays notes at a steady rate and
// counts what comes back through thru at its sink port.
//
//   bench/run-jack-bench BUILD program_bench [COUNT [BIG]]
//
// COUNT notes per burst (100,000), BIG for the long burst (1,000,000; 0: none).
//
// For each program and rate (96,000 and 48,000 messages/s) it prints:
//  - messages received at the sink (passed on by thru) of those sent;
//  - the time from the first note sent to the last one passed on, to
//    "shown": the last message analysed and its result painted, and to
//    "settled": the window thread (the program's main thread) idle for good;
//  - the process's CPU per message, from /proc/PID/stat (utime + stime,
//    whole process, counted from the first note to settled);
//  - the idle CPU over 10 s with the input open and nothing arriving, for
//    the process and for each of its threads (/proc/PID/task/*/schedstat);
//    the idle and sparse ratios take the threads' sum, in nanoseconds, as
//    utime + stime counts 10 ms ticks.
// Then 1,000,000 notes at 96,000/s: what was lost; a musician's sparse
// streams (200 and 1,000 notes a second for 5 s): the share of a core the
// program takes; and the 96,000/s bursts again with a busy CPU beside them
// (a spinning thread in this process, at the same priority). Last,
// the window's figures as ratios to the command line's.
//
// "Passed on" is the sink's count: thru sends each message before the
// hand-off to the main thread, which takes what waits in batches; the input
// waits for it only when the hand-off's ring is full. "Shown" and "settled"
// watch the main thread's own CPU time (/proc/PID/task/PID/schedstat, in
// nanoseconds) every 2 ms. Settled: the end of the last 2 ms in which it ran
// more than 10%, followed by 300 ms under that. Shown: the same before the
// first 150 ms under it. The window takes a stream in at most ten times a
// second, so the last message is painted before such a pause; what comes
// later is the window's timers, the data LED going dark 50 ms after the last
// message among them. Wall times depend on the machine's load (printed); CPU
// per message does much less.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "support/child_process.h"
#include "support/eventually.h"
#include "support/virtual_display.h"

using velmora::testing::ChildProcess;
using velmora::testing::Eventually;
using velmora::testing::VirtualDisplay;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kVelmora = VELMORA_PROGRAM;
const std::string kCli = VELMORA_CLI;

std::int64_t NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// A JACK client with a paced player ("out") and a counting sink ("in").
// The player spreads its notes evenly over each cycle's frames; the sink
// notes when the last event came. Nothing in the cycle allocates or locks.
class PacedClient {
  public:
    bool Open(std::string* error) {
        jack_status_t status{};
        client_ = jack_client_open("bench", JackNoStartServer, &status);
        if (client_ == nullptr) {
            *error = "no JACK server (status " + std::to_string(status) + ")";
            return false;
        }
        name_ = jack_get_client_name(client_);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &PacedClient::Process, this);
        jack_set_xrun_callback(
            client_,
            [](void* self) {
                static_cast<PacedClient*>(self)->xruns_.fetch_add(1);
                return 0;
            },
            this);
        rate_ = jack_get_sample_rate(client_);
        return out_ != nullptr && in_ != nullptr && jack_activate(client_) == 0;
    }
    ~PacedClient() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }

    std::string OutPort() const { return name_ + ":out"; }
    std::string InPort() const { return name_ + ":in"; }
    bool Connected() const { return jack_port_connected(out_) > 0 && jack_port_connected(in_) > 0; }

    // Plays `count` notes at `perSecond` from the next cycle on.
    void Play(std::uint64_t count, std::uint64_t perSecond) {
        received_.store(0);
        lastArrivalNs_.store(0);
        firstSentNs_.store(0);
        sent_.store(0);
        perSecond_.store(perSecond);
        toSend_.store(count, std::memory_order_release);
    }
    std::uint64_t Sent() const { return sent_.load(); }
    std::uint64_t Received() const { return received_.load(); }
    std::uint64_t Unsendable() const { return full_.load(); }
    std::uint64_t XRuns() const { return xruns_.load(); }
    std::int64_t FirstSentNs() const { return firstSentNs_.load(); }
    std::int64_t LastArrivalNs() const { return lastArrivalNs_.load(); }

  private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<PacedClient*>(arg);
        self->Play(frames);
        self->Count(frames);
        return 0;
    }

    void Play(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(out_, frames);
        jack_midi_clear_buffer(buffer);
        const std::uint64_t total = toSend_.load(std::memory_order_acquire);
        std::uint64_t sent = sent_.load(std::memory_order_relaxed);
        if (sent >= total) {
            return;
        }
        if (sent == 0) {
            firstSentNs_.store(NowNs());
        }
        // Whole notes per cycle, the remainder carried: the rate holds exactly.
        carry_ += perSecond_.load() * frames;
        std::uint64_t n = std::min<std::uint64_t>(carry_ / rate_, total - sent);
        carry_ -= n * rate_;
        for (std::uint64_t k = 0; k < n; ++k) {
            const std::uint64_t i = sent + k;
            const jack_midi_data_t note[3] = {static_cast<jack_midi_data_t>(0x90 | (i % 16)),
                                              static_cast<jack_midi_data_t>(i % 128),
                                              static_cast<jack_midi_data_t>(1 + i % 127)};
            const auto at = static_cast<jack_nframes_t>(k * frames / n);
            if (jack_midi_event_write(buffer, at, note, 3) != 0) {
                full_.fetch_add(n - k);
                n = k; // the rest goes next cycle
                break;
            }
        }
        sent_.store(sent + n, std::memory_order_release);
        if (sent + n >= total) {
            carry_ = 0;
        }
    }

    void Count(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(in_, frames);
        const std::uint32_t events = jack_midi_get_event_count(buffer);
        if (events > 0) {
            received_.fetch_add(events);
            lastArrivalNs_.store(NowNs());
        }
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::string name_;
    std::uint64_t rate_ = 48000;
    std::uint64_t carry_ = 0; // cycle thread only
    std::atomic<std::uint64_t> toSend_{0}, sent_{0}, perSecond_{0}, received_{0}, full_{0},
        xruns_{0};
    std::atomic<std::int64_t> firstSentNs_{0}, lastArrivalNs_{0};
};

// The process's CPU time (utime + stime, in clock ticks) from /proc/PID/stat.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) { // fields 14 and 15
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The main thread's CPU time in nanoseconds.
std::int64_t MainThreadCpuNs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                     "/schedstat");
    long long ns = 0;
    in >> ns;
    return ns;
}

struct Quiet {
    std::int64_t shown = -1;   // the end of the busy stretch before 150 ms of quiet
    std::int64_t settled = -1; // the end of the busy stretch before 300 ms of quiet
};

// Waits until the main thread has run under 10% of each 2 ms for 300 ms,
// after `since` (monotonic ns); both ends stay -1 after 60 s.
Quiet WaitSettled(pid_t pid, std::int64_t since) {
    constexpr auto kStep = 2ms;
    constexpr std::int64_t kBusyNs = 200'000; // 10% of the step
    std::int64_t lastBusy = since;
    std::int64_t shown = -1;
    std::int64_t before = MainThreadCpuNs(pid);
    std::int64_t stamp = NowNs();
    const std::int64_t deadline = stamp + 60'000'000'000;
    while (stamp < deadline) {
        std::this_thread::sleep_for(kStep);
        const std::int64_t now = NowNs();
        const std::int64_t cpu = MainThreadCpuNs(pid);
        if (cpu - before > kBusyNs * (now - stamp) / 2'000'000) {
            lastBusy = now;
        } else if (shown < 0 && now - lastBusy >= 150'000'000) {
            shown = lastBusy;
        }
        if (now - lastBusy >= 300'000'000) {
            return {shown, lastBusy};
        }
        before = cpu;
        stamp = now;
    }
    return {};
}

// Context switches of all the process's threads so far (voluntary and not).
std::uint64_t ContextSwitches(pid_t pid) {
    std::uint64_t total = 0;
    std::error_code error;
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                total += std::stoull(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

struct Burst {
    std::uint64_t sent = 0, received = 0, xruns = 0, full = 0;
    double passedOnS = 0, shownS = 0, settledS = 0, cpuUsPerMessage = 0, switchesPerMessage = 0;
};

Burst RunBurst(PacedClient& client, pid_t pid, std::uint64_t count, std::uint64_t perSecond) {
    const std::uint64_t xruns = client.XRuns();
    const double cpuBefore = ProcessCpuSeconds(pid);
    const std::uint64_t switches = ContextSwitches(pid);
    client.Play(count, perSecond);
    // Until all have come back, or nothing more for 2 s after the last was sent.
    std::uint64_t seen = 0;
    auto lastChange = Clock::now();
    while (client.Received() < count) {
        std::this_thread::sleep_for(1ms);
        const std::uint64_t now = client.Received() + client.Sent();
        if (now != seen) {
            seen = now;
            lastChange = Clock::now();
        } else if (Clock::now() - lastChange > 2s) {
            break;
        }
    }
    const Quiet quiet = WaitSettled(pid, client.LastArrivalNs());
    // The CPU up to settled: the 300 ms quiet after it costs (nearly) nothing.
    const double cpu = ProcessCpuSeconds(pid) - cpuBefore;
    Burst b;
    b.sent = client.Sent();
    b.received = client.Received();
    b.xruns = client.XRuns() - xruns;
    b.full = client.Unsendable();
    const double first = static_cast<double>(client.FirstSentNs());
    b.passedOnS = (static_cast<double>(client.LastArrivalNs()) - first) / 1e9;
    const auto since = [first](std::int64_t at) {
        return at < 0 ? -1 : (std::max<double>(static_cast<double>(at), first) - first) / 1e9;
    };
    b.shownS = since(quiet.shown);
    b.settledS = since(quiet.settled);
    b.cpuUsPerMessage = b.received > 0 ? cpu * 1e6 / static_cast<double>(b.received) : 0;
    b.switchesPerMessage = b.received > 0 ? static_cast<double>(ContextSwitches(pid) - switches) /
                                                static_cast<double>(b.received)
                                          : 0;
    return b;
}

void PrintBurst(const char* who, std::uint64_t perSecond, const Burst& b) {
    std::printf("  %-8s %6llu msg/s: received %llu of %llu, passed on in %.3f s, shown %.3f s, "
                "settled %.3f s, CPU %.2f us/msg, %.2f thread switches/msg (late cycles %llu)\n",
                who, static_cast<unsigned long long>(perSecond),
                static_cast<unsigned long long>(b.received),
                static_cast<unsigned long long>(b.sent), b.passedOnS, b.shownS, b.settledS,
                b.cpuUsPerMessage, b.switchesPerMessage, static_cast<unsigned long long>(b.xruns));
    std::fflush(stdout);
}

// The CPU time of each thread of the process, in nanoseconds, by thread id.
std::map<std::string, std::pair<std::string, std::int64_t>> ThreadCpuNs(pid_t pid) {
    std::map<std::string, std::pair<std::string, std::int64_t>> threads;
    std::error_code error;
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        std::ifstream comm(task.path() / "comm"), stat(task.path() / "schedstat");
        std::string name;
        long long ns = 0;
        std::getline(comm, name);
        stat >> ns;
        const std::string id = task.path().filename().string();
        threads[id] = {id == std::to_string(pid) ? "main" : name + "/" + id, ns};
    }
    return threads;
}

// Each thread's share of a core between two readings of ThreadCpuNs, for
// the threads over 0.05%: ", main 0.15%, velmora/1234 0.51%".
std::string ThreadShares(const std::map<std::string, std::pair<std::string, std::int64_t>>& before,
                         const std::map<std::string, std::pair<std::string, std::int64_t>>& after,
                         double seconds, double* total) {
    std::string each;
    *total = 0;
    for (const auto& [id, thread] : after) {
        const auto was = before.find(id);
        const std::int64_t ns = thread.second - (was == before.end() ? 0 : was->second.second);
        const double percent = static_cast<double>(ns) / (seconds * 1e7);
        *total += percent;
        if (percent >= 0.05) {
            char part[96];
            std::snprintf(part, sizeof part, "%s %s %.2f%%", each.empty() ? "" : ",",
                          thread.first.c_str(), percent);
            each += part;
        }
    }
    return each;
}

// The share of a core the process takes over 5 s, from /proc/PID/stat, and
// in nanoseconds per thread (threads under 0.05% left out).
double PrintIdle(pid_t pid) {
    constexpr double kSeconds = 10;
    const double before = ProcessCpuSeconds(pid);
    const auto threadsBefore = ThreadCpuNs(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    const double after = ProcessCpuSeconds(pid);
    double total = 0;
    const std::string each = ThreadShares(threadsBefore, ThreadCpuNs(pid), kSeconds, &total);
    const double percent = (after - before) / kSeconds * 100.0;
    std::printf("  idle: %.2f%% of a core (utime+stime); threads %.2f%%:%s\n", percent, total,
                each.c_str());
    // The ratios take the threads' run time (nanoseconds): utime+stime counts
    // 10 ms ticks, 0.1% of a core over 10 s, too coarse for these goals.
    return total;
}

// The share of a core the process takes while `perSecond` notes a second
// arrive for `seconds`, from the first note sent to the last passed on.
double RunSparse(PacedClient& client, pid_t pid, std::uint64_t perSecond, double seconds) {
    const auto count = static_cast<std::uint64_t>(static_cast<double>(perSecond) * seconds);
    const double cpuBefore = ProcessCpuSeconds(pid);
    const auto threadsBefore = ThreadCpuNs(pid);
    const auto start = Clock::now();
    client.Play(count, perSecond);
    Eventually([&] { return client.Received() >= count; },
               std::chrono::milliseconds(static_cast<std::int64_t>((seconds + 5) * 1000)), 1ms);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double percent = (ProcessCpuSeconds(pid) - cpuBefore) / wall * 100.0;
    double total = 0;
    const std::string each = ThreadShares(threadsBefore, ThreadCpuNs(pid), wall, &total);
    std::printf("  sparse %5llu msg/s for %.0f s: received %llu of %llu, %.2f%% of a core; "
                "threads %.2f%%:%s\n",
                static_cast<unsigned long long>(perSecond), seconds,
                static_cast<unsigned long long>(client.Received()),
                static_cast<unsigned long long>(count), percent, total, each.c_str());
    std::fflush(stdout);
    return total; // as PrintIdle's
}

// A spinning thread, for as long as it lives: the busy CPU beside a burst
// (on top of whatever else the machine runs: see the load printed).
class BusyCpu {
  public:
    BusyCpu() {
        for (int i = 0; i < 1; ++i) {
            threads_.emplace_back([this] {
                volatile std::uint64_t x = 0;
                while (!stop_.load(std::memory_order_relaxed)) {
                    x = x + 1;
                }
            });
        }
    }
    ~BusyCpu() {
        stop_.store(true);
        for (std::thread& t : threads_) {
            t.join();
        }
    }

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// What one program did, for the ratios at the end.
struct Figures {
    double idlePercent = 0;
    std::map<std::uint64_t, Burst> bursts; // by rate
    Burst big, busy, busyBig;
    std::map<std::uint64_t, double> sparsePercent; // by rate
};

void PrintBig(const char* what, std::uint64_t count, const Burst& b) {
    std::printf("  %s %llu notes at 96000/s: received %llu, lost %llu, passed on in %.3f s, "
                "shown %.3f s, CPU %.2f us/msg, %.2f thread switches/msg (late cycles %llu)\n",
                what, static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(b.received),
                static_cast<unsigned long long>(b.sent - b.received), b.passedOnS, b.shownS,
                b.cpuUsPerMessage, b.switchesPerMessage, static_cast<unsigned long long>(b.xruns));
    std::fflush(stdout);
}

// Every measure above, on the running program `pid`; sets `status` on a loss.
Figures Measure(PacedClient& client, pid_t pid, const char* who, std::uint64_t count,
                std::uint64_t big, int& status) {
    Figures f;
    f.idlePercent = PrintIdle(pid);
    const auto check = [&](const Burst& b) { status |= b.received == b.sent ? 0 : 2; };
    for (std::uint64_t rate : {96000, 48000}) {
        f.bursts[rate] = RunBurst(client, pid, count, rate);
        PrintBurst(who, rate, f.bursts[rate]);
        check(f.bursts[rate]);
    }
    if (big > 0) {
        f.big = RunBurst(client, pid, big, 96000);
        PrintBig("", big, f.big);
        check(f.big);
    }
    for (std::uint64_t rate : {200, 1000}) {
        f.sparsePercent[rate] = RunSparse(client, pid, rate, 5);
    }
    {
        BusyCpu busy;
        f.busy = RunBurst(client, pid, count, 96000);
        PrintBig("busy CPU:", count, f.busy);
        check(f.busy);
        if (big > 0) {
            f.busyBig = RunBurst(client, pid, big, 96000);
            PrintBig("busy CPU:", big, f.busyBig);
            check(f.busyBig);
        }
    }
    return f;
}

void PrintRatio(const char* what, double window, double cli, double goal) {
    const double ratio = cli > 0 ? window / cli : 0;
    std::printf("  %-44s window %9.3f  cli %9.3f  ratio %5.2f (goal %.2f)%s\n", what, window, cli,
                ratio, goal, ratio <= goal ? "" : "  MISSED");
}

void PrintRatios(const Figures& w, const Figures& c, std::uint64_t count, std::uint64_t big) {
    std::printf("The window beside velmora-cli monitor\n");
    std::printf("  %-44s window %9.2f  cli %9.2f  (goal: window under 0.5)\n", "idle, % of a core",
                w.idlePercent, c.idlePercent);
    for (std::uint64_t rate : {200, 1000}) {
        const std::string what = "sparse " + std::to_string(rate) + " msg/s, % of a core";
        PrintRatio(what.c_str(), w.sparsePercent.at(rate), c.sparsePercent.at(rate), 1.5);
    }
    const auto bursts = [&](const std::string& name, const Burst& wb, const Burst& cb) {
        std::printf("  %-44s window %9.2f  cli %9.2f  (goal: window at most 10)\n",
                    (name + ", CPU us/msg").c_str(), wb.cpuUsPerMessage, cb.cpuUsPerMessage);
        std::printf("  %-44s window %9llu  cli %9llu  (goal 0)\n", (name + ", lost").c_str(),
                    static_cast<unsigned long long>(wb.sent - wb.received),
                    static_cast<unsigned long long>(cb.sent - cb.received));
        PrintRatio((name + ", passed on s").c_str(), wb.passedOnS, cb.passedOnS, 1.15);
        PrintRatio((name + ", shown s / cli passed on").c_str(), wb.shownS, cb.passedOnS, 1.15);
    };
    const std::string n = std::to_string(count);
    bursts(n + " at 96000/s", w.bursts.at(96000), c.bursts.at(96000));
    bursts(n + " at 48000/s", w.bursts.at(48000), c.bursts.at(48000));
    bursts(n + " busy CPU", w.busy, c.busy);
    if (big > 0) {
        const std::string b = std::to_string(big);
        bursts(b + " at 96000/s", w.big, c.big);
        bursts(b + " busy CPU", w.busyBig, c.busyBig);
    }
}

bool WaitReady(PacedClient& client, ChildProcess& program, pid_t pid) {
    if (!Eventually([&] { return client.Connected() || !program.Running(); }, 30s, 10ms) ||
        !program.Running()) {
        return false;
    }
    // The server's graph takes new connections in at a cycle's start, and the
    // program finishes starting up: wait until it is quiet.
    std::this_thread::sleep_for(500ms);
    return WaitSettled(pid, NowNs()).settled >= 0;
}

// The ids of the child: ChildProcess keeps it to itself, so find it by its
// parent (this process) and its command line.
pid_t ChildPid(const std::string& program) {
    pid_t found = -1;
    Eventually(
        [&] {
            for (const auto& entry : fs::directory_iterator("/proc")) {
                const std::string name = entry.path().filename().string();
                if (name.find_first_not_of("0123456789") != std::string::npos) {
                    continue;
                }
                std::ifstream stat(entry.path() / "stat");
                std::string text((std::istreambuf_iterator<char>(stat)),
                                 std::istreambuf_iterator<char>());
                const auto close = text.rfind(')');
                if (close == std::string::npos) {
                    continue;
                }
                std::istringstream fields(text.substr(close + 2));
                std::string state;
                long ppid = 0;
                fields >> state >> ppid;
                std::ifstream cmd(entry.path() / "cmdline");
                std::string first;
                std::getline(cmd, first, '\0');
                if (ppid == getpid() && first == program) {
                    found = static_cast<pid_t>(std::stol(name));
                    return true;
                }
            }
            return false;
        },
        10s, 5ms);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const std::uint64_t big = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
    std::string error;
    PacedClient client;
    if (!client.Open(&error)) {
        std::fprintf(stderr, "program_bench: %s\n", error.c_str());
        return 1;
    }
    unsetenv("QT_QPA_PLATFORM"); // the X server's windows
    VirtualDisplay display;
    if (!display.Running()) {
        std::fprintf(stderr, "program_bench: no Xvfb: %s\n", display.Errors().c_str());
        return 1;
    }
    // The program in a folder of its own, with its settings file beside it.
    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const fs::path folder = pattern;
    const std::string program = (folder / "velmora").string();
    fs::copy_file(kVelmora, program);
    std::ofstream(folder / "Velmora.ini", std::ios::binary)
        << "[Devices]\r\nMidiInName=" << client.OutPort() << "\r\nMidiOutName=" << client.InPort()
        << "\r\nMidiThru=1\r\n";

    {
        std::ifstream load("/proc/loadavg");
        std::string line;
        std::getline(load, line);
        std::printf("Load average before: %s\n", line.c_str());
    }
    std::printf("JACK dummy server, 48 kHz, period 256; %llu notes per burst\n",
                static_cast<unsigned long long>(count));
    int status = 0;
    Figures window, cli;
    {
        ChildProcess velmora({program, "--midi-api", "jack"});
        const pid_t pid = ChildPid(program);
        if (pid < 0 || !WaitReady(client, velmora, pid)) {
            std::fprintf(stderr, "program_bench: the window did not open its ports: %s\n",
                         velmora.Errors().c_str());
            return 1;
        }
        std::printf("velmora (window under Xvfb, thru on)\n");
        window = Measure(client, pid, "window", count, big, status);
        velmora.Signal(SIGTERM);
        velmora.Wait(20s);
        std::fflush(stdout);
    }
    {
        const std::string out = (folder / "monitor.txt").string();
        ChildProcess program({"/bin/sh", "-c",
                              "exec \"$0\" monitor -a jack -i \"$1\" -o \"$2\" >\"$3\"", kCli,
                              client.OutPort(), client.InPort(), out});
        const pid_t pid = ChildPid(kCli);
        if (pid < 0 || !WaitReady(client, program, pid)) {
            std::fprintf(stderr, "program_bench: velmora-cli did not open its ports: %s\n",
                         program.Errors().c_str());
            return 1;
        }
        std::printf("velmora-cli monitor (thru on, standard output to a file)\n");
        cli = Measure(client, pid, "cli", count, big, status);
        program.Signal(SIGTERM);
        program.Wait(20s);
    }
    PrintRatios(window, cli, count, big);
    {
        std::ifstream load("/proc/loadavg");
        std::string line;
        std::getline(load, line);
        std::printf("Load average after: %s\n", line.c_str());
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
