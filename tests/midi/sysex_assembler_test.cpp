#include "midi/sysex_assembler.h"
#include "support/sysex_dump.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::midi {
namespace {

using Bytes = std::vector<std::uint8_t>;
using velmora::testing::SysexDump;

// A backend that records what it is given and can be told to refuse.
struct FakeBackend {
    std::vector<Bytes> sent;
    bool accept = true;
    SysexAssembler::SendFn Fn() {
        return [this](std::span<const std::uint8_t> bytes) {
            sent.emplace_back(bytes.begin(), bytes.end());
            return accept;
        };
    }
};

// Sends `message` in blocks of `block` bytes; the results of the calls.
std::vector<bool> SendInBlocks(SysexAssembler& assembler, const Bytes& message, std::size_t block,
                               const SysexAssembler::SendFn& send) {
    std::vector<bool> results;
    for (std::size_t at = 0; at < message.size(); at += block) {
        const std::size_t n = std::min(block, message.size() - at);
        results.push_back(assembler.Send(std::span(message).subspan(at, n), send));
    }
    return results;
}

TEST(SysexAssemblerWholeMessages, BlocksOfOneMessageGoOutTogetherAtF7) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages);
    FakeBackend backend;
    const Bytes message = SysexDump(10000, 0x11, 0);
    EXPECT_EQ(SendInBlocks(assembler, message, 4096, backend.Fn()),
              (std::vector<bool>{true, true, true}));
    ASSERT_EQ(backend.sent.size(), 1u);
    EXPECT_EQ(backend.sent[0], message);
    EXPECT_FALSE(assembler.Holding());

    // The next message starts afresh.
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 0x7E, 0xF7}, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 2u);
    EXPECT_EQ(backend.sent[1], (Bytes{0xF0, 0x7E, 0xF7}));
}

TEST(SysexAssemblerWholeMessages, TheLastBlockReportsAFailedSend) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages);
    FakeBackend backend;
    backend.accept = false;
    EXPECT_EQ(SendInBlocks(assembler, SysexDump(9000, 0x11, 0), 4096, backend.Fn()),
              (std::vector<bool>{true, true, false}));
    EXPECT_EQ(backend.sent.size(), 1u);
    EXPECT_FALSE(assembler.Holding());
}

TEST(SysexAssemblerWholeMessages, SkipsStrayBytesAndCountsThem) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages);
    FakeBackend backend;
    EXPECT_FALSE(assembler.Send(Bytes{}, backend.Fn()));
    // A continuation without its start, a lone F7: skipped, not sent, counted.
    EXPECT_TRUE(assembler.Send(Bytes{0x10, 0x20, 0xF7}, backend.Fn()));
    EXPECT_TRUE(assembler.Send(Bytes{0xF7}, backend.Fn()));
    EXPECT_TRUE(backend.sent.empty());
    EXPECT_EQ(assembler.Unsent(), 4u);
    // Junk in front of a message and between two in one block.
    EXPECT_TRUE(
        assembler.Send(Bytes{0x01, 0x02, 0xF0, 0x7E, 0xF7, 0x03, 0xF0, 0x7D, 0xF7}, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 2u);
    EXPECT_EQ(backend.sent[1], (Bytes{0xF0, 0x7D, 0xF7}));
    EXPECT_EQ(assembler.Unsent(), 7u);

    // A complete message that is not sysex goes out as it is.
    EXPECT_TRUE(assembler.Send(Bytes{0x90, 0x3C, 0x40}, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 3u);
    EXPECT_EQ(backend.sent[2], (Bytes{0x90, 0x3C, 0x40}));
}

TEST(SysexAssemblerWholeMessages, ANewStartDropsAnUnfinishedMessage) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages);
    FakeBackend backend;
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 0x01, 0x02}, backend.Fn()));
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 0x05}, backend.Fn()));
    EXPECT_TRUE(assembler.Send(Bytes{0x06, 0xF7}, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 1u);
    EXPECT_EQ(backend.sent[0], (Bytes{0xF0, 0x05, 0x06, 0xF7}));
    EXPECT_EQ(assembler.Unsent(), 3u);
}

TEST(SysexAssemblerWholeMessages, ClearDropsWhatIsHeld) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages);
    FakeBackend backend;
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 0x01}, backend.Fn()));
    EXPECT_TRUE(assembler.Holding());
    assembler.Clear();
    EXPECT_FALSE(assembler.Holding());
    EXPECT_TRUE(assembler.Send(Bytes{0x02, 0xF7}, backend.Fn())); // stray now
    EXPECT_TRUE(backend.sent.empty());
    EXPECT_EQ(assembler.Unsent(), 2u);
}

TEST(SysexAssemblerWholeMessages, AMessageBeyondTheLimitIsRefusedAndDropped) {
    SysexAssembler assembler(SysexAssembler::Mode::WholeMessages, 4096, 10);
    FakeBackend backend;
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 1, 2, 3, 4, 5}, backend.Fn()));
    EXPECT_FALSE(assembler.Send(Bytes{6, 7, 8, 9, 10}, backend.Fn())); // 11 bytes
    EXPECT_FALSE(assembler.Holding());
    EXPECT_EQ(assembler.Unsent(), 11u);
    EXPECT_TRUE(backend.sent.empty());
    // Exactly at the limit is fine.
    EXPECT_TRUE(assembler.Send(Bytes{0xF0, 1, 2, 3, 4}, backend.Fn()));
    EXPECT_TRUE(assembler.Send(Bytes{5, 6, 7, 8, 0xF7}, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 1u);
    EXPECT_EQ(backend.sent[0].size(), 10u);
}

TEST(SysexAssemblerBlocks, EveryBlockGoesOutAsItComesInPiecesOfAtMostMaxPiece) {
    SysexAssembler assembler(SysexAssembler::Mode::Blocks, 4096);
    FakeBackend backend;
    const Bytes message = SysexDump(10000, 0x11, 0);
    EXPECT_EQ(SendInBlocks(assembler, message, 4096, backend.Fn()),
              (std::vector<bool>{true, true, true}));
    ASSERT_EQ(backend.sent.size(), 3u);
    EXPECT_EQ(backend.sent[2].size(), 1808u);
    EXPECT_FALSE(assembler.Holding());

    backend.sent.clear();
    EXPECT_TRUE(assembler.Send(message, backend.Fn()));
    ASSERT_EQ(backend.sent.size(), 3u);
    Bytes joined;
    for (const Bytes& piece : backend.sent) {
        EXPECT_LE(piece.size(), 4096u);
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(joined, message);

    // Continuations go out as they are too.
    EXPECT_TRUE(assembler.Send(Bytes{0x10, 0xF7}, backend.Fn()));
    EXPECT_FALSE(assembler.Send(Bytes{}, backend.Fn()));
}

TEST(SysexAssemblerBlocks, StopsAtTheFirstRefusedPiece) {
    SysexAssembler assembler(SysexAssembler::Mode::Blocks, 100);
    FakeBackend backend;
    backend.accept = false;
    EXPECT_FALSE(assembler.Send(SysexDump(1000, 0x11, 0), backend.Fn()));
    EXPECT_EQ(backend.sent.size(), 1u);
}

} // namespace
} // namespace velmora::midi
