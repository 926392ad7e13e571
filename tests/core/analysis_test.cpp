#include "core/analysis.h"

#include <gtest/gtest.h>

#include "core/events_history.h"

using namespace velmora;

namespace {

using Row = std::array<std::string, 4>;
constexpr AnalysisPreferences kAllOn{true, true, true};
constexpr AnalysisPreferences kAllOff{false, false, false};

} // namespace

TEST(Analysis, ActiveSensingOnlyLightsItsLed) {
    const auto on = AnalyseShortMessage(0xFE, kAllOn);
    EXPECT_EQ(on.led, Led::ActiveSense);
    EXPECT_FALSE(on.jumpToData);
    EXPECT_FALSE(on.showFields);
    EXPECT_TRUE(on.explicitText.historyLine.empty());

    const auto off = AnalyseShortMessage(0xFE, kAllOff);
    EXPECT_EQ(off.led, Led::None);
    EXPECT_FALSE(off.showFields);

    // Only the whole value 0xFE is active sensing; stray data bytes make it a
    // system message like any other.
    const auto withData = AnalyseShortMessage(0x01FE, kAllOn);
    EXPECT_EQ(withData.led, Led::MidiData);
    EXPECT_TRUE(withData.showFields);
    EXPECT_EQ(withData.explicitText.labels[0], "Unknow Common");
}

TEST(Analysis, NoteOnRows) {
    const auto r = AnalyseShortMessage(PackShortMessage(0x90, 0x3C, 0x64), kAllOn);
    EXPECT_EQ(r.led, Led::MidiData);
    EXPECT_TRUE(r.jumpToData);
    ASSERT_TRUE(r.showFields);
    EXPECT_EQ(r.decimal, (Row{"144", "60", "100", "0"}));
    EXPECT_EQ(r.hexadecimal, (Row{"H90", "H3C", "H64", "H00"}));
    EXPECT_EQ(r.binary, (Row{"10010000", "00111100", "01100100", "00000000"}));
    EXPECT_EQ(r.explicitText.bar, 100);
}

TEST(Analysis, ChannelPressureFilter) {
    const ShortMessage at = PackShortMessage(0xD3, 0x40, 0);
    const auto filtered = AnalyseShortMessage(at, kAllOn);
    EXPECT_EQ(filtered.led, Led::MidiData);
    EXPECT_TRUE(filtered.jumpToData);
    EXPECT_FALSE(filtered.showFields);

    const auto shown = AnalyseShortMessage(at, {true, false, false});
    EXPECT_FALSE(shown.jumpToData);
    ASSERT_TRUE(shown.showFields);
    EXPECT_EQ(shown.explicitText.labels[0], "After Touch");
    EXPECT_EQ(shown.explicitText.labels[3], "Channel 4");
    EXPECT_EQ(shown.fields.channel, 3);

    // Polyphonic key pressure is not filtered.
    EXPECT_TRUE(AnalyseShortMessage(PackShortMessage(0xA3, 60, 1), kAllOn).showFields);
}

TEST(Analysis, SystemMessagesHaveChannelZero) {
    const auto r = AnalyseShortMessage(PackShortMessage(0xF2, 0x10, 0x02), kAllOn);
    ASSERT_TRUE(r.showFields);
    EXPECT_EQ(r.fields.channel, 0);
    EXPECT_EQ(r.decimal[3], "0");
    EXPECT_EQ(r.hexadecimal[3], "H00");
    EXPECT_EQ(r.binary[3], "00000000");
    EXPECT_EQ(r.explicitText.labels[0], "Song Position");
    EXPECT_FALSE(r.explicitText.bar.has_value());

    // 0xF0 itself goes to the channel-message table.
    const auto f0 = AnalyseShortMessage(0xF0, kAllOn);
    EXPECT_EQ(f0.explicitText.labels[0], "Unknow");
    EXPECT_EQ(f0.fields.channel, 0);
}

TEST(EventsHistory, KeepsTheNewest26Lines) {
    EventsHistory history;
    std::vector<std::string> lines;
    for (int i = 0; i < 27; ++i) {
        const auto r =
            AnalyseShortMessage(PackShortMessage(0x90, static_cast<std::uint8_t>(i), 1), kAllOn);
        lines.push_back(r.explicitText.historyLine);
        history.Append(r.explicitText.historyLine);
        if (i < 26) {
            EXPECT_EQ(history.Text().size(), 67u * static_cast<unsigned>(i + 1));
        }
    }
    EXPECT_EQ(history.Text().size(), 1742u);
    EXPECT_TRUE(history.Text().starts_with(lines[1]));
    EXPECT_TRUE(history.Text().ends_with(lines[26]));
    for (int i = 0; i < 1000; ++i) {
        history.Append(lines[static_cast<std::size_t>(i % 27)]);
    }
    EXPECT_EQ(history.Text().size(), 1742u);
}
