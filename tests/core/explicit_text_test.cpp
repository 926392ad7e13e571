#include "core/explicit_text.h"

#include <gtest/gtest.h>

#include "core/text_tools.h"

using namespace velmora;

namespace {

using Labels = std::array<std::string, 4>;

std::string Line(const std::string& body) {
    return body + "\r\n";
}

} // namespace

TEST(Explicit, NoteOnWorkedExample) {
    const auto e = Explicit(0x90, 0x3C, 0x64, 0);
    EXPECT_EQ(e.labels, (Labels{"Note On", "C3 (do3)", "100", "Channel 1"}));
    EXPECT_EQ(e.bar, 100);
    EXPECT_EQ(e.historyLine,
              Line("90 3C 64    Note On          C3 (do3)    Velocity: 100 Channel 1 "));
    EXPECT_EQ(e.historyLine.size(), 67u);
}

TEST(Explicit, NoteVelocitiesAndTheBar) {
    const auto on0 = Explicit(0x90, 60, 0, 0);
    EXPECT_EQ(on0.labels[0], "Note On");
    EXPECT_EQ(on0.labels[2], "0");
    EXPECT_EQ(on0.bar, 0);
    EXPECT_EQ(on0.historyLine.substr(41, 14), "Velocity: 0   ");

    const auto off = Explicit(0x80, 60, 64, 0);
    EXPECT_EQ(off.labels[0], "Note Off");
    EXPECT_EQ(off.labels[2], "64");
    EXPECT_EQ(off.bar, 0);
    EXPECT_EQ(off.historyLine.substr(41, 14), "Velocity: 64  ");
}

TEST(Explicit, LongTextsAreCutInTheLineOnly) {
    const auto cc = Explicit(0xB0, 84, 127, 9);
    EXPECT_EQ(cc.labels, (Labels{"Control Change", "Portamento Control", "127", "Channel 10"}));
    EXPECT_EQ(cc.historyLine,
              Line("B9 54 7F    Control Change   Portamento C127           Channel 10"));

    const auto ch16 = Explicit(0x90, 60, 1, 15);
    EXPECT_EQ(ch16.historyLine.substr(55, 10), "Channel 16");

    const auto n1 = Explicit(0x90, 1, 1, 0);
    EXPECT_EQ(n1.labels[1], "C#-2 (do# -2)");
    EXPECT_EQ(n1.historyLine.substr(29, 12), "C#-2 (do# -2");
}

TEST(Explicit, OtherChannelMessages) {
    EXPECT_EQ(Explicit(0xE0, 0, 64, 0).labels, (Labels{"Pitch Bend", "0", "64", "Channel 1"}));
    EXPECT_EQ(Explicit(0xE0, 0, 64, 0).bar, 0);
    EXPECT_EQ(Explicit(0xE0, 5, 64, 0).bar, 0);
    EXPECT_EQ(Explicit(0xE0, 0, 65, 0).bar, 65);
    EXPECT_EQ(Explicit(0xE0, 0, 127, 0).bar, 127);

    const auto poly = Explicit(0xA0, 60, 30, 5);
    EXPECT_EQ(poly.labels, (Labels{"Unknow", "Unknow", "Unknow", "Channel 6"}));
    EXPECT_EQ(poly.bar, 30);
    EXPECT_EQ(poly.historyLine.substr(0, 8), "A5 3C 1E");
    EXPECT_EQ(poly.historyLine.substr(41, 14), PadText("Unknow", 14));

    const auto pc = Explicit(0xC0, 5, 0, 0);
    EXPECT_EQ(pc.labels, (Labels{"Program Change", "5", "Unused", "Channel 1"}));
    EXPECT_EQ(pc.bar, 5);

    const auto at = Explicit(0xD0, 0x40, 0, 3);
    EXPECT_EQ(at.labels, (Labels{"After Touch", "64", "Unused", "Channel 4"}));
    EXPECT_EQ(at.bar, 64);

    // The bar value is not clamped here; the bar control clamps what it gets.
    EXPECT_EQ(Explicit(0x90, 60, 200, 0).bar, 200);
}

TEST(ExplicitCommon, SystemMessages) {
    const auto start = explicitCommon(0xFA, 0, 0);
    EXPECT_EQ(start.labels, (Labels{"Start", "Unused", "Unused", "Unused"}));
    EXPECT_FALSE(start.bar.has_value());
    EXPECT_TRUE(start.historyLine.starts_with("FA 00 00    Start"));

    EXPECT_EQ(explicitCommon(0xF2, 16, 2).labels, (Labels{"Song Position", "16", "2", "Unused"}));
    EXPECT_EQ(explicitCommon(0xF1, 0x35, 0).labels,
              (Labels{"Quater frame", "53", "Unused", "Unused"}));
    EXPECT_EQ(explicitCommon(0xF3, 7, 9).labels, (Labels{"Song select", "7", "Unused", "Unused"}));
    EXPECT_EQ(explicitCommon(0xF6, 0, 0).labels[0], "Tune request");
    EXPECT_EQ(explicitCommon(0xF8, 0, 0).labels[0], "Clock");
    EXPECT_EQ(explicitCommon(0xFB, 0, 0).labels[0], "Continue");
    EXPECT_EQ(explicitCommon(0xFC, 0, 0).labels[0], "Stop");
    EXPECT_EQ(explicitCommon(0xFF, 0, 0).labels[0], "System reset");
    for (const std::uint8_t s : {0xF7, 0xF4, 0xF5, 0xF9, 0xFD, 0xFE, 0x10}) {
        const auto e = explicitCommon(s, 1, 2);
        EXPECT_EQ(e.labels, (Labels{"Unknow Common", "Unused", "Unused", "Unused"})) << int(s);
        EXPECT_EQ(e.historyLine.substr(0, 8), HexBytes(s, 1, 2));
    }
}

// Every three-byte message gives a 65-character line and CR LF whose first
// column is the message's bytes.
TEST(HistoryLine, EveryThreeByteMessage) {
    std::uint64_t failures = 0;
    for (std::uint32_t m = 0; m < (1u << 24); ++m) {
        const auto line = DescribeShortMessage(m).historyLine;
        const auto s = static_cast<std::uint8_t>(m), d1 = static_cast<std::uint8_t>(m >> 8),
                   d2 = static_cast<std::uint8_t>(m >> 16);
        const bool ok = line.size() == 67 && line[65] == '\r' && line[66] == '\n' &&
                        line.compare(0, 8, HexBytes(s, d1, d2)) == 0 &&
                        line.compare(8, 4, "    ") == 0;
        if (!ok && ++failures < 5) {
            ADD_FAILURE() << std::hex << m << ": [" << line << "]";
        }
    }
    EXPECT_EQ(failures, 0u);
}
