#include "core/sysex_monitor_log.h"

#include <gtest/gtest.h>

#include "core/sysex_text.h"

using velmora::SysexBlockHeader;
using velmora::SysexMonitorLog;

TEST(SysexMonitorLog, ListsNumberedBlocks) {
    EXPECT_EQ(SysexBlockHeader(1, 6), "Block #1 (6 bytes)");
    EXPECT_EQ(SysexBlockHeader(12, 4096), "Block #12 (4096 bytes)");
    EXPECT_EQ(SysexBlockHeader(3, 1808), "Block #3 (1808 bytes)");

    SysexMonitorLog log;
    const auto u = log.AddBlock("F0 7E 7F 06 01 F7 ");
    EXPECT_EQ(u.droppedLines, 0u);
    EXPECT_EQ(u.added[0], "Block #1 (6 bytes)");
    EXPECT_EQ(log.Text(), "Block #1 (6 bytes)\r\nF0 7E 7F 06 01 F7 \r\n\r\n");
    // The caret goes five characters before the end: right after F7.
    const std::string text = log.Text();
    EXPECT_EQ(text.substr(text.size() - 7, 2), "F7");
    log.AddBlock("F0 F7 ");
    EXPECT_EQ(log.BlockCount(), 2);
    // The listed bytes read back, as saved to a file.
    EXPECT_EQ(log.Bytes(),
              (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0xF7}));
    log.Clear();
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(log.AddBlock("F7 ").added[0], "Block #1 (1 bytes)");
}

// A long dump keeps the text below the limit by dropping whole old lines,
// and the updates replay to the same text.
TEST(SysexMonitorLog, StaysBoundedAndUpdatesReplayToTheText) {
    SysexMonitorLog log;
    std::deque<std::string> mirror;
    const std::string block(4096 * 3, 'A');
    for (int i = 0; i < 2600; ++i) { // about 10 MB of dump
        const auto u = log.AddBlock(block);
        for (const auto& line : u.added) {
            mirror.push_back(line);
        }
        ASSERT_LE(u.droppedLines, mirror.size());
        mirror.erase(mirror.begin(), mirror.begin() + static_cast<long>(u.droppedLines));
        ASSERT_LT(log.Size(), SysexMonitorLog::kLimit);
    }
    EXPECT_EQ(log.BlockCount(), 2600);
    std::string replay;
    for (const auto& line : mirror) {
        replay += line + "\r\n";
    }
    EXPECT_EQ(replay, log.Text());
    EXPECT_TRUE(log.Text().starts_with("Block #") || log.Text().starts_with("AAA") ||
                log.Text().starts_with("\r\n"));
}
