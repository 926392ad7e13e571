// What the data monitor does with one incoming short message, decided without
// a window: the window only writes the result into its controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/explicit_text.h"
#include "core/short_message.h"

namespace velmora {

struct AnalysisPreferences {
    bool activeSenseLed = true;    // "Active Sensing LED active"
    bool afterTouchFilter = false; // "After Touch monitor filter"
    bool jumpToData = true;        // "Jump to Data monitor when receiving Midi Data"
};

enum class Led { None, ActiveSense, MidiData };

struct MessageFields {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint8_t channel = 0;
};

struct AnalysisResult {
    Led led = Led::None;
    // Bring the Data Monitor panel to the front (when it is not already shown).
    bool jumpToData = false;
    // False when the message stops before the rows: active sensing, or
    // channel pressure under the after-touch filter. The rows, the bar and the
    // history then keep showing the previous message.
    bool showFields = false;
    MessageFields fields;
    std::array<std::string, 4> binary;      // ByteToBin of each field
    std::array<std::string, 4> hexadecimal; // "H90"
    std::array<std::string, 4> decimal;     // "144"
    ExplicitText explicitText;
};

AnalysisResult AnalyseShortMessage(ShortMessage message, const AnalysisPreferences& prefs);

} // namespace velmora
