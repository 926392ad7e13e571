#include "core/hex_message_parser.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(ParseHexMessage, GoodLines) {
    EXPECT_EQ(ParseHexMessage("90 3C 64").message, 0x643C90u);
    EXPECT_EQ(ParseHexMessage("  90\t3c  64  \r").message, 0x643C90u);
    EXPECT_EQ(ParseHexMessage("F8").message, 0xF8u);
    EXPECT_EQ(ParseHexMessage("c0 5").message, 0x05C0u);
    EXPECT_EQ(ParseHexMessage("0000090 0").message, 0x90u);
    EXPECT_TRUE(ParseHexMessage("FF FF FF").ok);
}

TEST(ParseHexMessage, BadLinesSayWhy) {
    const auto notHex = ParseHexMessage("90 3G 64");
    EXPECT_FALSE(notHex.ok);
    EXPECT_EQ(notHex.error, "\"3G\" is not a hexadecimal byte");
    EXPECT_EQ(ParseHexMessage("90 3C 64 00").error, "more than three bytes");
    EXPECT_EQ(ParseHexMessage("100").error, "\"100\" is above FF");
    EXPECT_EQ(ParseHexMessage("FFFFFFFFFFFFFFFFFFFFFFFF").error,
              "\"FFFFFFFFFFFFFFFFFFFFFFFF\" is above FF");
    EXPECT_FALSE(ParseHexMessage("").ok);
    EXPECT_FALSE(ParseHexMessage(" \t\r").ok);
    EXPECT_FALSE(ParseHexMessage("0x90").ok);
    EXPECT_FALSE(ParseHexMessage("-1").ok);
}
