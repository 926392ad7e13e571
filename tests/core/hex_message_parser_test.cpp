#include "core/hex_message_parser.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(ParseHexMessage, GoodLines) {
    EXPECT_EQ(ParseHexMessage("90 3C 64").message, 0x643C90u);
    EXPECT_EQ(ParseHexMessage("  90\t3c  64  \r").message, 0x643C90u);
    EXPECT_EQ(ParseHexMessage("F8").message, 0xF8u);
    EXPECT_EQ(ParseHexMessage("c0 5").message, 0x05C0u);
    EXPECT_EQ(ParseHexMessage("0000090 0").message, 0x90u);
    EXPECT_TRUE(ParseHexMessage("FF").ok);
    EXPECT_TRUE(ParseHexMessage("B0 7F 7F").ok);
}

TEST(ParseHexMessage, BadLinesSayWhy) {
    const auto notHex = ParseHexMessage("90 3G 64");
    EXPECT_FALSE(notHex.ok);
    EXPECT_EQ(notHex.error, "\"3G\" is not a hexadecimal byte");
    EXPECT_EQ(ParseHexMessage("90 3C 64 00").error, "more than three bytes");
    EXPECT_EQ(ParseHexMessage("90 3C 80").error, "data byte 80 is above 7F");
    EXPECT_EQ(ParseHexMessage("FF FF FF").error, "data byte FF is above 7F");
    EXPECT_EQ(ParseHexMessage("100").error, "\"100\" is above FF");
    EXPECT_EQ(ParseHexMessage("FFFFFFFFFFFFFFFFFFFFFFFF").error,
              "\"FFFFFFFFFFFFFFFFFFFFFFFF\" is above FF");
    EXPECT_FALSE(ParseHexMessage("").ok);
    EXPECT_FALSE(ParseHexMessage(" \t\r").ok);
    EXPECT_FALSE(ParseHexMessage("0x90").ok);
    EXPECT_FALSE(ParseHexMessage("-1").ok);
}

TEST(ParseHexBytes, WholeLinesAndSafeQuotes) {
    const auto sysex = ParseHexBytes(" f0 7E 7f 06 01 F7 ", 16);
    EXPECT_TRUE(sysex.ok);
    EXPECT_EQ(sysex.bytes, (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(ParseHexBytes("F0 01 02", 2).error, "more than 2 bytes");
    EXPECT_EQ(ParseHexBytes("\t", 2).error, "empty line, expected hexadecimal bytes");
    const auto bad = ParseHexBytes("F0 0G", 16);
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.bytes.empty());

    // A bad token is quoted by its start only, with control bytes escaped.
    EXPECT_EQ(ParseHexMessage(std::string(40, 'z')).error,
              "\"" + std::string(32, 'z') + "...\" is not a hexadecimal byte");
    EXPECT_EQ(QuoteStart("a\x1B[31m\"\\\xC3\xA9"), "\"a\\x1B[31m\\x22\\x5C\\xC3\\xA9\"");
}

TEST(TakeTimeColumn, TakesTheMonitorsTimeAndLeavesOtherLinesAlone) {
    std::string_view timed = "     1234  90 3C 64    Note On";
    EXPECT_EQ(TakeTimeColumn(timed), 1234);
    EXPECT_EQ(timed, "  90 3C 64    Note On");
    std::string_view wide = "1234567890  F8";
    EXPECT_EQ(TakeTimeColumn(wide), 1234567890);
    EXPECT_EQ(ParseMessageLine(wide, 16).bytes, (std::vector<std::uint8_t>{0xF8}));
    for (std::string_view plain : {"90 3C 64", "  90 3C 64    Note On", "F8", "", "   ", "12 34",
                                   "1234567890123  F8", "90\t3C 64"}) {
        const std::string_view before = plain;
        EXPECT_FALSE(TakeTimeColumn(plain)) << before;
        EXPECT_EQ(plain, before);
    }
}
