#include "core/text_tools.h"

#include <gtest/gtest.h>

#include <set>

using namespace velmora;

TEST(ByteToBin, EightDigitsMostSignificantFirst) {
    EXPECT_EQ(ByteToBin(0), "00000000");
    EXPECT_EQ(ByteToBin(255), "11111111");
    EXPECT_EQ(ByteToBin(15), "00001111");
    EXPECT_EQ(ByteToBin(0x90), "10010000");
    EXPECT_EQ(ByteToBin(5), "00000101");
}

TEST(PadText, FillsOrCutsToWidth) {
    EXPECT_EQ(PadText("Note On", 17), "Note On          ");
    EXPECT_EQ(PadText("C#-2 (do# -2)", 12), "C#-2 (do# -2");
    EXPECT_EQ(PadText("", 10), "          ");
    EXPECT_EQ(PadText("Channel 16", 10), "Channel 16");
    EXPECT_EQ(PadText("abc", 0), "");
    EXPECT_EQ(PadText("abc", -3), "");
}

TEST(HexBytes, UpperCasePairsWithSingleSpaces) {
    EXPECT_EQ(HexBytes(0xF8, 0, 0), "F8 00 00");
    EXPECT_EQ(HexBytes(0x90, 0x3C, 0x64), "90 3C 64");
    EXPECT_EQ(HexBytes(0xab, 0xcd, 0xef), "AB CD EF");
}

TEST(FieldRenderings, DecimalAndHexadecimal) {
    EXPECT_EQ(DecimalField(0), "0");
    EXPECT_EQ(DecimalField(144), "144");
    EXPECT_EQ(DecimalField(255), "255");
    EXPECT_EQ(HexField(0x90), "H90");
    EXPECT_EQ(HexField(0), "H00");
    EXPECT_EQ(HexField(0xFE), "HFE");
}

TEST(DropFirstLine, LimitAndSeparator) {
    const std::string line = std::string(63, 'x') + "\r\n"; // 65 characters
    std::string below(1799, 'a');
    below.replace(10, 2, "\r\n");
    EXPECT_EQ(DropFirstLine(below, "\r\n", 1800), below);

    std::string at = below + "b";
    EXPECT_EQ(DropFirstLine(at, "\r\n", 1800), at.substr(12));

    std::string emptyFirst = "\r\n" + std::string(1798, 'c');
    EXPECT_EQ(DropFirstLine(emptyFirst, "\r\n", 1800), std::string(1798, 'c'));

    // Only one line goes per call, however far above the limit.
    std::string many;
    for (int i = 0; i < 40; ++i) {
        many += line;
    }
    EXPECT_EQ(DropFirstLine(many, "\r\n", 1800).size(), many.size() - 65);

    // No separator at all: left whole.
    std::string noSep(2000, 'z');
    EXPECT_EQ(DropFirstLine(noSep, "\r\n", 1800), noSep);
}

TEST(NoteName, TableOfTheSolfegeNames) {
    EXPECT_EQ(NoteName(0), "C-2 (do-2)");
    EXPECT_EQ(NoteName(13), "C#-1 (do# -1)");
    EXPECT_EQ(NoteName(60), "C3 (do3)");
    EXPECT_EQ(NoteName(61), "C#3 (do# 3)");
    EXPECT_EQ(NoteName(62), "D3 (r\xE9"
                            "3)");
    EXPECT_EQ(NoteName(63), "D#3 (r\xE9#3)");
    EXPECT_EQ(NoteName(69), "A3 (la3)");
    EXPECT_EQ(NoteName(127), "G8 (sol8)");
    EXPECT_EQ(NoteName(255), "D#19 (r\xE9#19)"); // bytes past 127 are exact too
}

TEST(NoteName, OctaveShownTwiceAndEqual) {
    for (int note = 0; note < 128; ++note) {
        const std::string name = NoteName(static_cast<std::uint8_t>(note));
        const std::string octave = std::to_string(note / 12 - 2);
        const auto paren = name.find(" (");
        ASSERT_NE(paren, std::string::npos) << name;
        EXPECT_TRUE(name.substr(0, paren).ends_with(octave)) << name;
        EXPECT_TRUE(name.ends_with(octave + ")")) << name;
        if (note < 12) {
            EXPECT_NE(name.find("-2 ("), std::string::npos) << name;
        }
    }
}

TEST(NoteNameShort, DistinctNamesAndNegativeNotes) {
    std::set<std::string> names;
    for (int note = 0; note < 128; ++note) {
        names.insert(NoteNameShort(note));
    }
    EXPECT_EQ(names.size(), 128u);
    EXPECT_EQ(NoteNameShort(0), "C-2");
    EXPECT_EQ(NoteNameShort(60), "C3");
    EXPECT_EQ(NoteNameShort(61), "C#3");
    EXPECT_EQ(NoteNameShort(127), "G8");
    EXPECT_EQ(NoteNameShort(-1), "");
    EXPECT_EQ(NoteNameShort(-11), "");
    EXPECT_EQ(NoteNameShort(-12), "C-3"); // truncating arithmetic: pitch class 0
}

TEST(ControlName, NamedAndNumbered) {
    EXPECT_EQ(ControlName(98), "NRPN LSB");
    EXPECT_EQ(ControlName(99), "NRPN MSB");
    EXPECT_EQ(ControlName(102), "Control 102");
    EXPECT_EQ(ControlName(3), "Control 3");
    EXPECT_EQ(ControlName(200), "Control 200");
    EXPECT_EQ(ControlName(-1), "Control -1");
    EXPECT_EQ(ControlName(16), "Gen.Purpose 1");
    EXPECT_EQ(ControlName(80), "Gen. Purpose 5");
    EXPECT_EQ(ControlName(84), "Portamento Control");
    int named = 0;
    for (int c = 0; c < 128; ++c) {
        named += ControlName(c).starts_with("Control ") ? 0 : 1;
    }
    EXPECT_EQ(named, 61);
}
