// Cost of showing one short message: fields, explicit texts, history line and
// history trim; of the details of a message in its stream; and the throughput
// of `velmora-cli decode`, with and without details.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "cli/decode_command.h"
#include "core/analysis.h"
#include "core/events_history.h"
#include "core/message_details.h"
#include "core/scrollback.h"

using namespace velmora;

namespace {

// A realistic mix: notes, controllers, pitch bend, programs, system messages.
std::vector<ShortMessage> MessageMix() {
    std::vector<ShortMessage> m;
    for (unsigned i = 0; i < 1024; ++i) {
        const auto d = static_cast<std::uint8_t>(i % 128);
        switch (i % 8) {
        case 0:
        case 1:
        case 2:
            m.push_back(PackShortMessage(0x90 | (i % 16), d, 100));
            break;
        case 3:
            m.push_back(PackShortMessage(0x80, d, 64));
            break;
        case 4:
            m.push_back(PackShortMessage(0xB0, d, 127));
            break;
        case 5:
            m.push_back(PackShortMessage(0xE0, d, 64));
            break;
        case 6:
            m.push_back(PackShortMessage(0xC0, d, 0));
            break;
        default:
            m.push_back(PackShortMessage(0xF2, d, 1));
            break;
        }
    }
    return m;
}

void BM_AnalyseAndHistory(benchmark::State& state) {
    const auto messages = MessageMix();
    EventsHistory history;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto r = AnalyseShortMessage(messages[i++ & 1023], AnalysisPreferences{});
        history.Append(r.explicitText.historyLine);
        benchmark::DoNotOptimize(history.Text().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_AnalyseAndHistory);

// The mix above with the sequences the details decoder keeps state for: an
// RPN data entry, a 14-bit controller pair, quarter frames and clock.
std::vector<ShortMessage> StatefulMix() {
    std::vector<ShortMessage> m = MessageMix();
    for (std::size_t i = 0; i < m.size(); i += 16) {
        const auto ch = static_cast<std::uint8_t>(0xB0 | (i / 16 % 16));
        const std::array<ShortMessage, 10> run{
            PackShortMessage(ch, 101, 0),
            PackShortMessage(ch, 100, 0),
            PackShortMessage(ch, 6, 2),
            PackShortMessage(ch, 7, 100),
            PackShortMessage(ch, 39, 5),
            PackShortMessage(0xF1, static_cast<std::uint8_t>(i / 16 % 8 << 4), 0),
            kTimingClock,
            kTimingClock,
            kActiveSensing,
            PackShortMessage(0xE0, 0, 0x50)};
        std::copy(run.begin(), run.end(), m.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return m;
}

void BM_MessageDetails(benchmark::State& state) {
    const auto messages = StatefulMix();
    MessageDetails details;
    std::size_t i = 0;
    std::int64_t time = 0;
    for (auto _ : state) {
        time += 5000;
        const std::string text = details.Short(messages[i++ & 1023], time);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_MessageDetails);

void BM_SysexDetails(benchmark::State& state) {
    const std::vector<std::vector<std::uint8_t>> messages{
        {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x16, 0x02, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF7},
        {0xF0, 0x00, 0x20, 0x29, 0x01, 0xF7},
        {0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0x02, 0x03, 0x04, 0xF7},
        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}};
    MessageDetails details;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string text = details.Sysex(messages[i++ & 3]);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_SysexDetails);

void BM_DecodeCommand(benchmark::State& state) {
    std::string input;
    const auto messages = state.range(0) ? StatefulMix() : MessageMix();
    constexpr int kLines = 100000;
    for (int i = 0; i < kLines; ++i) {
        const auto m = messages[static_cast<std::size_t>(i) & 1023];
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02X %02X %02X\n", m & 0xFF, (m >> 8) & 0xFF, m >> 16);
        input += buf;
    }
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        std::FILE* in = fmemopen(input.data(), input.size(), "r");
        state.ResumeTiming();
        const std::array<std::string_view, 1> details{"--details"};
        benchmark::DoNotOptimize(
            velmora::cli::RunDecode(state.range(0) ? std::span<const std::string_view>(details)
                                                   : std::span<const std::string_view>(),
                                    in, devnull, devnull));
        std::fclose(in);
    }
    std::fclose(devnull);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLines);
}
// Argument 1: with --details on the stateful mix.
BENCHMARK(BM_DecodeCommand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

// The events history's scrollback full (100,000 lines): the cost of one more
// line, of rebuilding the shown lines (a filter or the time column changed)
// and of the CSV; the memory it holds is printed once.
void BM_ScrollbackAppendWhenFull(benchmark::State& state) {
    const auto messages = MessageMix();
    Scrollback sb;
    for (std::size_t i = 0; i < sb.Capacity(); ++i) {
        const auto r = AnalyseShortMessage(messages[i & 1023], AnalysisPreferences{});
        sb.Append(static_cast<std::int32_t>(i), messages[i & 1023], r.explicitText.historyLine);
    }
    static bool printed = false;
    if (!printed) {
        printed = true;
        std::size_t bytes = sb.Entries().size() * sizeof(ScrollbackEntry);
        for (const auto& e : sb.Entries()) {
            bytes += e.line.capacity() > 15 ? e.line.capacity() + 1 : 0;
        }
        std::printf("scrollback of %zu lines: about %.1f MB\n", sb.Entries().size(),
                    static_cast<double>(bytes) / 1e6);
    }
    std::size_t i = 0;
    std::string line =
        AnalyseShortMessage(messages[0], AnalysisPreferences{}).explicitText.historyLine;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sb.Append(static_cast<std::int32_t>(i), messages[i & 1023], line));
        ++i;
    }
}
BENCHMARK(BM_ScrollbackAppendWhenFull);

void BM_ScrollbackShownAndCsv(benchmark::State& state) {
    const auto messages = MessageMix();
    Scrollback sb;
    for (std::size_t i = 0; i < sb.Capacity(); ++i) {
        const auto r = AnalyseShortMessage(messages[i & 1023], AnalysisPreferences{});
        sb.Append(static_cast<std::int32_t>(i), messages[i & 1023], r.explicitText.historyLine);
    }
    MessageFilter filter = kShowEverything;
    filter.kinds &= ~std::uint32_t{kKindCc};
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(ShownLines(sb, filter, TimeColumn::Delta, 0).size());
        } else {
            benchmark::DoNotOptimize(ScrollbackCsv(sb, filter).size());
        }
    }
}
BENCHMARK(BM_ScrollbackShownAndCsv)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
