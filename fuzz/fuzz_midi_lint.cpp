// Feeds arbitrary messages, times and silences to the stream checker: it
// always ends, and every warning is one line of text.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/midi_lint.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LintSettings settings;
    if (size > 0) {
        settings.clockWindow = data[0] % 40; // 0 and 1 included
        settings.clockWanderShare = data[0] / 255.0;
    }
    MidiLint lint(settings);
    std::vector<LintWarning> warnings;
    std::uint64_t now = 0;
    // Each record: a time step byte, a length byte (0 = a tick), the bytes.
    std::size_t i = 1;
    while (i + 2 <= size) {
        now += std::uint64_t{data[i]} * data[i] * 997;
        const std::size_t n = data[i + 1] % 8;
        i += 2;
        if (n == 0) {
            lint.Tick(now, warnings);
            continue;
        }
        const std::size_t take = std::min(n, size - i);
        lint.Feed(now, std::span(data + i, take), warnings);
        i += take;
    }
    lint.Close(warnings);
    for (const LintWarning& w : warnings) {
        if (w.text.empty() || w.text.find('\n') != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
