#include "core/cp1252.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(Cp1252, ToUtf8) {
    EXPECT_EQ(Cp1252ToUtf8("D3 (r\xE9"
                           "3)"),
              "D3 (r\u00e9"
              "3)");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20ac");
    EXPECT_EQ(Cp1252ToUtf8("plain"), "plain");
}

TEST(Cp1252, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
    }
}

TEST(Cp1252, FromUtf8KeepsWhatItCanAndNamesTheRest) {
    EXPECT_EQ(Utf8ToCp1252("r\u00e9"), "r\xE9");
    EXPECT_EQ(Utf8ToCp1252("\u4e2d"), "?"); // not in the code page
    EXPECT_EQ(Utf8ToCp1252("a\xFF"
                           "b"),
              "a\xFF"
              "b");                                  // malformed: kept as a byte
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82"), "\xE2\x82"); // cut short
}
