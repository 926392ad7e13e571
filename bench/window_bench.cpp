// The Monitor path with the real main window: the simulated service's
// delivery thread, the input callback and thru, the hand-off, and the main
// window's handlers with their text boxes, labels, bar and LEDs, on the
// offscreen platform (painting included). Prints its figures.
//
//   window_bench            every run below
//   window_bench short      the short-message runs only
//   window_bench sysex      the sysex runs only
//
// Short messages, the Data Monitor shown: 10,000 messages/s for 3 s, fed in
// JACK-sized batches every millisecond, then an unpaced burst. Sysex, the
// Sysex Monitor shown: a 1 MB dump as one message, and 1 MB as 4 KB messages
// arriving at 4 MB/s. For each: what was lost, how far the window fell
// behind, and the longest gap between two ticks of the window's 25 ms timer
// (how long the window was unresponsive). The window thread's own work, its
// handlers and its painting, is measured in that thread's CPU time, which a
// busy machine does not inflate; the wall-clock figures depend on what else
// the machine's cores are doing.
#include <QApplication>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <time.h>

#include "app/main_form.h"
#include "help/help_hook.h"
#include "midi/simulated/simulated_service.h"

using namespace velmora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

bool LastRowStartsWith(const velmora::ui::TLineBox& box, const QString& text) {
    return box.lineCount() > 0 && box.line(box.lineCount() - 1).startsWith(text);
}

// The windows ask for no help here.
class NoHelp : public help::HelpHook {
  public:
    bool OpenHelpContext(int) override { return false; }
};

class PrintReporter : public midi::Reporter {
  public:
    void Report(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

ShortMessage Nth(std::uint64_t i) {
    switch (i % 4) {
    case 0:
        return PackShortMessage(static_cast<std::uint8_t>(0x90 | (i % 16)),
                                static_cast<std::uint8_t>(i % 128),
                                static_cast<std::uint8_t>(1 + i % 127));
    case 1:
        return PackShortMessage(0xB0, static_cast<std::uint8_t>(i % 120),
                                static_cast<std::uint8_t>(i % 128));
    case 2:
        return PackShortMessage(0xE3, static_cast<std::uint8_t>(i % 128), 0x40);
    default:
        return PackShortMessage(0x80, static_cast<std::uint8_t>((i - 3) % 128), 0x40);
    }
}

std::vector<std::uint8_t> Dump(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 128);
    }
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time used so far by this thread (the window thread) and by the process.
struct CpuTime {
    double window = 0, process = 0; // seconds
    static CpuTime Now() {
        auto seconds = [](clockid_t clock) {
            timespec t{};
            clock_gettime(clock, &t);
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
        };
        return {seconds(CLOCK_THREAD_CPUTIME_ID), seconds(CLOCK_PROCESS_CPUTIME_ID)};
    }
    CpuTime operator-(const CpuTime& o) const { return {window - o.window, process - o.process}; }
};

// The longest pause between two ticks of the window's timer while it is on.
class TickGaps : public QObject {
  public:
    explicit TickGaps(QTimer* timer) {
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            const auto now = Clock::now();
            if (on_) {
                longest_ = std::max(longest_, now - last_);
            }
            last_ = now;
        });
    }
    void Start() {
        on_ = true;
        last_ = Clock::now();
        longest_ = {};
    }
    double StopMs() {
        on_ = false;
        return Ms(std::max(longest_, Clock::now() - last_));
    }

  private:
    bool on_ = false;
    Clock::time_point last_;
    Clock::duration longest_{};
};

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The main window, timing what it does on the window thread: its handlers
// of the hand-off, and the painting of the whole window.
class TimedForm : public app::TmainForm {
  public:
    using TmainForm::TmainForm;
    double handlerSeconds = 0, paintSeconds = 0;
    int paints = 0;
    void ClearTimes() {
        handlerSeconds = paintSeconds = 0;
        paints = 0;
    }

  protected:
    void HandleSignal(const midi::Handed& handed) override {
        const double start = ThreadCpuSeconds();
        TmainForm::HandleSignal(handed);
        handlerSeconds += ThreadCpuSeconds() - start;
    }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::UpdateRequest) {
            return TmainForm::event(e);
        }
        const double start = ThreadCpuSeconds();
        const bool done = TmainForm::event(e);
        paintSeconds += ThreadCpuSeconds() - start;
        ++paints;
        return done;
    }
};

class WindowBench {
  public:
    WindowBench() : service_({"Synth"}, {"Keys"}) {
        service_.SetInputQueueBytes(std::size_t{64} << 20);
        service_.SetRecordLimit(16);
        const QString settings = dir_.filePath(QStringLiteral("Velmora.ini"));
        form_ = std::make_unique<TimedForm>(
            app::MainFormEnvironment{service_, reporter_, help_, settings, settings});
        form_->show();
        while (form_->FirstActivation() && !form_->StartFailed()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        gaps_ = std::make_unique<TickGaps>(form_->Timer1);
    }
    ~WindowBench() { form_->close(); }

    bool ready() const { return form_->ImgInOpen->tag() == 1 && form_->ImgOutOpen->tag() == 1; }

    // `total` short messages at `rate` per second (0: as fast as they go).
    bool ShortRun(std::uint64_t total, double rate) {
        form_->ImgButDataClick();
        Settle();
        service_.ClearSent(0);
        const std::uint64_t lostBefore = form_->midi().LostInputEvents();
        const std::uint64_t abandonedBefore = form_->signal().Abandoned();

        std::atomic<std::uint64_t> refused{0}, maxBehind{0};
        std::atomic<bool> done{false};
        form_->ClearTimes();
        const CpuTime cpuStart = CpuTime::Now();
        const auto start = Clock::now();
        std::thread player([&] {
            std::uint64_t i = 0;
            while (i < total) {
                std::uint64_t due = total;
                if (rate > 0) {
                    due = std::min<std::uint64_t>(
                        total,
                        static_cast<std::uint64_t>(
                            rate * std::chrono::duration<double>(Clock::now() - start).count()) +
                            1);
                }
                for (; i < due; ++i) {
                    if (!service_.InjectShort(0, Nth(i))) {
                        refused.fetch_add(1);
                    }
                }
                const std::uint64_t shown = service_.SentCount(0);
                maxBehind.store(std::max(maxBehind.load(), i > shown ? i - shown : 0));
                if (rate > 0) {
                    std::this_thread::sleep_for(1ms);
                }
            }
            done.store(true);
        });
        gaps_->Start();
        const auto injectedAll = RunUntil([&] { return done.load(); });
        const auto end = RunUntil([&] { return service_.WaitIdle(0, 0ms); });
        const double longestGap = gaps_->StopMs();
        player.join();
        // The history box follows at its next turn.
        const QString last = HexOf(Nth(total - 1));
        const auto idle = Clock::now();
        RunUntil(
            [&] { return LastRowStartsWith(*form_->Memo2, last) || Clock::now() - idle > 2s; });
        const CpuTime cpu = CpuTime::Now() - cpuStart;

        const std::uint64_t shown = service_.SentCount(0);
        const std::uint64_t lost = refused.load() + form_->midi().LostInputEvents() - lostBefore +
                                   form_->signal().Abandoned() - abandonedBefore;
        const double seconds = std::chrono::duration<double>(end - start).count();
        const bool lastShown = LastRowStartsWith(*form_->Memo2, last);
        std::printf("short messages, %s\n",
                    rate > 0 ? QStringLiteral("paced at %1/s").arg(rate).toUtf8().constData()
                             : "unpaced burst");
        std::printf("  sent / shown / lost     %llu / %llu / %llu\n",
                    static_cast<unsigned long long>(total), static_cast<unsigned long long>(shown),
                    static_cast<unsigned long long>(lost));
        std::printf("  last message shown      %s\n", lastShown ? "yes" : "NO");
        std::printf(
            "  elapsed                 %.3f s (injection %.3f s, then drained in %.1f ms)\n",
            seconds, std::chrono::duration<double>(injectedAll - start).count(),
            Ms(end - injectedAll));
        std::printf("  throughput              %.0f messages/s\n", shown / seconds);
        std::printf("  most messages behind    %llu\n",
                    static_cast<unsigned long long>(maxBehind.load()));
        std::printf("  longest timer gap       %.1f ms\n", longestGap);
        std::printf("  window thread           %.1f us per message in its handler, %d paints of "
                    "%.2f ms\n",
                    1e6 * form_->handlerSeconds / static_cast<double>(total), form_->paints,
                    1e3 * form_->paintSeconds / std::max(1, form_->paints));
        std::printf("  CPU per message         %.1f us window thread, %.1f us in all\n",
                    1e6 * cpu.window / static_cast<double>(total),
                    1e6 * cpu.process / static_cast<double>(total));
        return lost == 0 && shown == total && lastShown;
    }

    // `bytes` of sysex in messages of `messageBytes`, arriving at `rate` bytes/s
    // (0: all at once).
    bool SysexRun(std::size_t bytes, std::size_t messageBytes, double rate) {
        form_->ImgButSysexClick();
        form_->SysexMonClear();
        Settle();
        const std::uint64_t lostBefore = form_->midi().LostInputEvents();
        const std::uint64_t abandonedBefore = form_->signal().Abandoned();
        const std::size_t messages = bytes / messageBytes;
        std::vector<std::vector<std::uint8_t>> dumps;
        for (std::size_t m = 0; m < messages; ++m) {
            dumps.push_back(Dump(messageBytes, static_cast<std::uint8_t>(m)));
        }
        const int blocksPerMessage =
            static_cast<int>((messageBytes + midi::kInputBufferSize - 1) / midi::kInputBufferSize);
        const int expectedBlocks = static_cast<int>(messages) * blocksPerMessage;

        std::atomic<std::uint64_t> refused{0};
        std::atomic<std::size_t> injected{0};
        std::atomic<bool> done{false};
        form_->ClearTimes();
        const CpuTime cpuStart = CpuTime::Now();
        const auto start = Clock::now();
        std::thread player([&] {
            for (std::size_t m = 0; m < messages; ++m) {
                if (rate > 0) {
                    std::this_thread::sleep_until(
                        start + std::chrono::nanoseconds(static_cast<std::int64_t>(
                                    1e9 * static_cast<double>(m * messageBytes) / rate)));
                }
                if (!service_.InjectSysex(0, dumps[m])) {
                    refused.fetch_add(1);
                }
                injected.store(m + 1);
            }
            done.store(true);
        });
        gaps_->Start();
        int maxBehind = 0;
        auto behind = [&] {
            const int listed = form_->sysexLog().BlockCount();
            maxBehind =
                std::max(maxBehind, static_cast<int>(injected.load()) * blocksPerMessage - listed);
        };
        const auto injectedAll = RunUntil([&] {
            behind();
            return done.load();
        });
        const auto end = RunUntil([&] {
            behind();
            return service_.WaitIdle(0, 0ms);
        });
        const double longestGap = gaps_->StopMs();
        player.join();
        QApplication::processEvents();
        const CpuTime cpu = CpuTime::Now() - cpuStart;

        const int listed = form_->sysexLog().BlockCount();
        const std::uint64_t lost = refused.load() + form_->midi().LostInputEvents() - lostBefore +
                                   form_->signal().Abandoned() - abandonedBefore;
        const double seconds = std::chrono::duration<double>(end - start).count();
        std::printf(
            "sysex, %zu bytes as %zu message(s) of %zu bytes, %s\n", bytes, messages, messageBytes,
            rate > 0 ? QStringLiteral("arriving at %1 MB/s").arg(rate / 1e6).toUtf8().constData()
                     : "all at once");
        std::printf("  blocks listed / lost    %d of %d / %llu\n", listed, expectedBlocks,
                    static_cast<unsigned long long>(lost));
        std::printf("  elapsed                 %.3f s (arrival %.3f s, then drained in %.1f ms)\n",
                    seconds, std::chrono::duration<double>(injectedAll - start).count(),
                    Ms(end - injectedAll));
        std::printf("  listing rate            %.0f bytes/s\n",
                    static_cast<double>(bytes) / seconds);
        std::printf("  most blocks behind      %d\n", maxBehind);
        std::printf("  longest timer gap       %.1f ms\n", longestGap);
        std::printf("  monitor text            %zu characters, %d lines\n",
                    form_->sysexLog().Size(), form_->Memo1->document()->blockCount());
        std::printf("  CPU per 4 KB block      %.1f us window thread, %.1f us in all\n",
                    1e6 * cpu.window / expectedBlocks, 1e6 * cpu.process / expectedBlocks);
        std::printf("  window thread           %.1f us per block in its handler, %d paints of "
                    "%.2f ms\n",
                    1e6 * form_->handlerSeconds / expectedBlocks, form_->paints,
                    1e3 * form_->paintSeconds / std::max(1, form_->paints));
        return lost == 0 && listed == expectedBlocks;
    }

  private:
    static QString HexOf(ShortMessage m) {
        return QStringLiteral("%1 %2 %3 ")
            .arg(StatusOf(m), 2, 16, QChar('0'))
            .arg(Data1Of(m), 2, 16, QChar('0'))
            .arg(Data2Of(m), 2, 16, QChar('0'))
            .toUpper();
    }

    // Runs the window's event loop until `done` holds; returns that moment.
    template <typename Pred> Clock::time_point RunUntil(Pred done) {
        QEventLoop loop;
        Clock::time_point when;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done()) {
                when = Clock::now();
                loop.quit();
            }
        });
        poll.start(1);
        loop.exec();
        return when;
    }

    void Settle() {
        RunUntil([&] { return service_.WaitIdle(0, 0ms); });
    }

    midi::SimulatedService service_;
    PrintReporter reporter_;
    NoHelp help_;
    QTemporaryDir dir_;
    std::unique_ptr<TimedForm> form_;
    std::unique_ptr<TickGaps> gaps_;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const std::string which = argc > 1 ? argv[1] : "";
    bool ok = true;
    {
        WindowBench bench;
        if (!bench.ready()) {
            std::fprintf(stderr, "window_bench: the ports did not open\n");
            return 1;
        }
        if (which.empty() || which == "short") {
            ok = bench.ShortRun(30000, 10000) && ok;
            ok = bench.ShortRun(200000, 0) && ok;
        }
        if (which.empty() || which == "sysex") {
            ok = bench.SysexRun(std::size_t{1} << 20, std::size_t{1} << 20, 0) && ok;
            ok = bench.SysexRun(std::size_t{1} << 20, 4096, 4e6) && ok;
        }
    }
    return ok ? 0 : 3;
}
