// The plain pieces behind velmora-cli's script output and input.
#include <gtest/gtest.h>

#include <cerrno>

#include "core/hex_message_parser.h"
#include "core/json_text.h"
#include "core/lost_input_text.h"
#include "core/message_filter.h"
#include "core/message_json.h"
#include "core/terminal_text.h"
#include "core/user_language.h"

using namespace velmora;

TEST(ScriptText, EscapesForTerminalsAndJson) {
    EXPECT_EQ(TerminalSafe("Synth \xC3\xA9t\xC3\xA9 \xE2\x99\xAA"),
              "Synth \xC3\xA9t\xC3\xA9 \xE2\x99\xAA"); // UTF-8 stays
    EXPECT_EQ(TerminalSafe("a\x1b]0;t\x07"
                           "b\x7f\r\n"),
              "a\\x1B]0;t\\x07b\\x7F\\x0D\\x0A");
    EXPECT_EQ(TerminalSafe("\xC2\x9B"
                           "2J \x9B \xC3"),
              "\\u009B2J \\x9B \\xC3"); // C1, broken UTF-8
    // A backslash shown is always an escape's: the text "\x1B" is not ESC.
    EXPECT_EQ(TerminalSafe("C:\\x1B"), "C:\\\\x1B");
    // The bidirectional controls, which would turn the line around them.
    EXPECT_EQ(TerminalSafe("a\u202Eb\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069"
                           "\u200E\u200F\u061Cz"),
              "a\\u202Eb\\u202A\\u202B\\u202C\\u202D\\u2066\\u2067\\u2068\\u2069"
              "\\u200E\\u200F\\u061Cz");
    EXPECT_EQ(TerminalSafe("\u2065\u202F\u2010"), "\u2065\u202F\u2010"); // their neighbours stay
    // Why input counted as lost was lost.
    EXPECT_EQ(LostInputTooltip(3, 0), "3 messages or sysex blocks arrived faster than they could "
                                      "be taken, or found no buffer, and were lost.");
    EXPECT_EQ(LostInputTooltip(25, 25).rfind("25 pieces of input were no MIDI message", 0), 0u);
    EXPECT_NE(LostInputTooltip(5, 2).find("3 messages or sysex blocks arrived faster"),
              std::string::npos);
    EXPECT_NE(LostInputTooltip(5, 2).find("\n2 pieces of input were no MIDI message"),
              std::string::npos);
    EXPECT_EQ(JsonString("say \"hi\"\\\t\x01\xC3\xA9\xFF\xE2\x82"),
              "\"say \\\"hi\\\"\\\\\\u0009\\u0001\xC3\xA9\\ufffd\\ufffd\\ufffd\"");
    EXPECT_EQ(ShortMessageJson(std::vector<std::uint8_t>{0xE0, 0x7F, 0x7F}, std::nullopt, ""),
              "{\"kind\":\"pitch-bend\",\"channel\":1,\"bytes\":\"E0 7F 7F\",\"value\":16383}");
    EXPECT_EQ(ShortMessageJson(std::vector<std::uint8_t>{0xFE}, 5, "a\"b"),
              "{\"time\":5,\"kind\":\"active-sensing\",\"bytes\":\"FE\",\"details\":\"a\\\"b\"}");
}

TEST(ScriptText, KindsAndChannels) {
    std::uint32_t kinds = 0;
    std::string error;
    ASSERT_TRUE(ParseKinds("Note,cc,SENSE,realtime", kinds, error));
    EXPECT_EQ(kinds, kKindNote | kKindCc | kKindSense | kKindRealtime);
    EXPECT_FALSE(ParseKinds("note,", kinds, error));
    EXPECT_NE(error.find("''"), std::string::npos);
    std::uint16_t channels = 0;
    ASSERT_TRUE(ParseChannels("1,10-12,16", channels, error));
    EXPECT_EQ(channels, 0x8E01);
    for (const char* bad : {"0", "17", "3-2", "1,,2", "a", "1-", ""}) {
        EXPECT_FALSE(ParseChannels(bad, channels, error)) << bad;
    }
    MessageFilter filter; // by default all but clock and active sensing
    EXPECT_TRUE(filter.Shows(0x9F) && filter.Shows(0xF0) && filter.Shows(0xFA));
    EXPECT_FALSE(filter.Shows(0xF8) || filter.Shows(0xFE));
    filter.channels = 0x0002;
    EXPECT_TRUE(filter.Shows(0xB1) && filter.Shows(0xF2));
    EXPECT_FALSE(filter.Shows(0xB0));
    EXPECT_EQ(KindOfStatus(0xD3), kKindAt);
    EXPECT_EQ(KindOfStatus(0xF1), kKindCommon);
}

TEST(ScriptText, MessageLinesToSend) {
    const auto bytes = [](std::string_view line) { return ParseMessageLine(line, 16).bytes; };
    using B = std::vector<std::uint8_t>;
    EXPECT_EQ(bytes("90 3c 64"), (B{0x90, 0x3C, 0x64}));
    EXPECT_EQ(bytes("C1 05 00    Program Change  ..."), (B{0xC1, 0x05})); // decode's line
    EXPECT_EQ(bytes("F8 # clock"), (B{0xF8}));
    EXPECT_EQ(bytes("F0 7D 1 F7"), (B{0xF0, 0x7D, 0x01, 0xF7}));
    const ParsedBytes blank = ParseMessageLine("  # nothing", 16);
    EXPECT_TRUE(blank.ok && blank.bytes.empty());
    for (const auto& [line, why] : std::vector<std::pair<const char*, const char*>>{
             {"3C 64", "3C is a data byte"},
             {"90 3C", "90 takes 3 bytes, 2 given"},
             {"C0 05 01", "C0 takes 2 bytes, more given"},
             {"90 80 00", "90 needs data bytes 00 to 7F"},
             {"F0 01 02", "must end with F7"},
             {"F0 01 90 F7", "status byte 90 inside"},
             {"90 3C 6G", "\"6G\" is not a hexadecimal byte"},
             {"90 100 00", "\"100\" is not"},
             {"F0 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F7", "more than 16 bytes"}}) {
        const ParsedBytes parsed = ParseMessageLine(line, 16);
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_NE(parsed.error.find(why), std::string::npos) << line << ": " << parsed.error;
    }
}

TEST(ScriptText, LanguageOfTheLocale) {
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "fr_FR.UTF-8"), Language::French);
    EXPECT_EQ(LanguageOfLocale("C", nullptr, "fr_FR.UTF-8"), Language::English);
    EXPECT_EQ(LanguageOfLocale("", "fr_CA", "en_US"), Language::French);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, nullptr), Language::English);
}
