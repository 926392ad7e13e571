#include "core/analysis.h"

#include "core/text_tools.h"

namespace velmora {

AnalysisResult AnalyseShortMessage(ShortMessage message, const AnalysisPreferences& prefs) {
    AnalysisResult r;
    if (message == kActiveSensing) {
        r.led = prefs.activeSenseLed ? Led::ActiveSense : Led::None;
        return r;
    }
    r.led = Led::MidiData;
    r.jumpToData = prefs.jumpToData;

    MessageFields f{StatusOf(message), Data1Of(message), Data2Of(message),
                    static_cast<std::uint8_t>(StatusOf(message) & 0x0F)};
    if (f.status > 0xF0) {
        f.channel = 0;
        r.explicitText = explicitCommon(f.status, f.data1, f.data2);
    } else {
        const auto statusClass = static_cast<std::uint8_t>(f.status & 0xF0);
        if (statusClass == 0xD0 && prefs.afterTouchFilter) {
            return r;
        }
        r.explicitText = Explicit(statusClass, f.data1, f.data2, f.channel);
    }
    r.showFields = true;
    r.fields = f;
    const std::array<std::uint8_t, 4> bytes{f.status, f.data1, f.data2, f.channel};
    for (std::size_t i = 0; i < 4; ++i) {
        r.decimal[i] = DecimalField(bytes[i]);
        r.hexadecimal[i] = HexField(bytes[i]);
        r.binary[i] = ByteToBin(bytes[i]);
    }
    return r;
}

} // namespace velmora
