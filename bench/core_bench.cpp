// Cost of showing one short message: fields, explicit texts, history line and
// history trim; and the throughput of `velmora-cli decode`.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/decode_command.h"
#include "core/analysis.h"
#include "core/events_history.h"

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

void BM_DecodeCommand(benchmark::State& state) {
    std::string input;
    const auto messages = MessageMix();
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
        benchmark::DoNotOptimize(velmora::cli::RunDecode({}, in, devnull, devnull));
        std::fclose(in);
    }
    std::fclose(devnull);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_DecodeCommand)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
