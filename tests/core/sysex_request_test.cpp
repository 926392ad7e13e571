#include "core/sysex_request.h"

#include <gtest/gtest.h>

using namespace velmora;
using Bytes = std::vector<std::uint8_t>;

TEST(SysexRequest, TakesWholeSysexMessagesAndSaysWhatIsWrongWithAnythingElse) {
    EXPECT_EQ(RequestFromHex("F0 7E 7F 06 01 F7").bytes,
              Bytes(kIdentityRequest.begin(), kIdentityRequest.end()));
    // Two messages in a row (a dump request to two devices), lower case.
    EXPECT_TRUE(RequestFromHex(" f0 41 10 42 11 f7\tF0 43 20 7E F7 ").ok);
    EXPECT_TRUE(RequestFromBytes(Bytes{0xF0, 0xF7}).ok);

    const std::pair<std::string, std::string> bad[] = {
        {"", "empty"},
        {"F0 7E G1 F7", "\"G1\" is not a hexadecimal byte"},
        {"F0 7E 100 F7", "above FF"},
        {"90 3C 40", "byte 1 (90) does not start a sysex message"},
        {"F0 7E 7F 06 01", "the last sysex message has no end (F7)"},
        {"F0 7E 90 F7", "byte 3 (90) is a status byte inside a sysex message"},
        {"F0 01 F7 05", "byte 4 (05) does not start"},
    };
    for (const auto& [text, why] : bad) {
        const Request request = RequestFromHex(text);
        EXPECT_FALSE(request.ok) << text;
        EXPECT_TRUE(request.bytes.empty()) << text;
        EXPECT_NE(request.error.find(why), std::string::npos) << text << ": " << request.error;
    }

    Bytes longest(kMaxRequestBytes, 0x01);
    longest.front() = 0xF0;
    longest.back() = 0xF7;
    EXPECT_TRUE(RequestFromBytes(longest).ok);
    longest.insert(longest.begin() + 1, 0x01);
    EXPECT_NE(RequestFromBytes(longest).error.find("longer than 65536 bytes"), std::string::npos);
    EXPECT_EQ(RequestFromBytes({}).error, "the request is empty");
}

TEST(SysexRequest, AReplyIsCompleteOnceTheLineWasIdleAndOnlySilenceTimesOut) {
    EXPECT_EQ(JudgeReply(0, false, 0, 5000), ReplyState::Waiting);
    EXPECT_EQ(JudgeReply(0, false, 4999, 5000), ReplyState::Waiting);
    EXPECT_EQ(JudgeReply(0, false, 5000, 5000), ReplyState::NoReply);
    // A reply on its way is waited for past the timeout, until the line is idle.
    EXPECT_EQ(JudgeReply(15, false, 9000, 5000), ReplyState::Waiting);
    EXPECT_EQ(JudgeReply(15, true, 2100, 5000), ReplyState::Complete);
    EXPECT_EQ(JudgeReply(15, true, 9000, 5000), ReplyState::Complete);
}
