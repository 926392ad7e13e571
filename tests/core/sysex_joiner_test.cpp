#include "core/sysex_joiner.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Joined {
    std::vector<Bytes> messages;
    std::size_t lost = 0;
    void Add(SysexJoiner& joiner, const Bytes& piece) {
        lost += joiner.Add(piece, [&](std::span<const std::uint8_t> m) {
            messages.emplace_back(m.begin(), m.end());
        });
    }
};

TEST(SysexJoiner, JoinsPiecesAndCountsWhatCannotBeWhole) {
    SysexJoiner joiner(8);
    Joined out;
    // Three pieces make one message; a clock byte inside is a message of its own.
    out.Add(joiner, {0xF0, 0x01, 0x02});
    out.Add(joiner, {0x03, 0xF8});
    out.Add(joiner, {0x04, 0xF7});
    EXPECT_EQ(out.messages, (std::vector<Bytes>{{0xF8}, {0xF0, 1, 2, 3, 4, 0xF7}}));
    EXPECT_EQ(out.lost, 0u);

    // Stray pieces before any F0 are one lost run; a new F0 cuts an open message.
    out.messages.clear();
    out.Add(joiner, {0x10, 0x11});
    out.Add(joiner, {0x12, 0xF7});
    out.Add(joiner, {0xF0, 0x01});
    out.Add(joiner, {0xF0, 0x02, 0xF7});
    EXPECT_EQ(out.messages, (std::vector<Bytes>{{0xF0, 2, 0xF7}}));
    EXPECT_EQ(out.lost, 2u);

    // Longer than the storage: lost whole, and the next message is fine.
    out.messages.clear();
    out.Add(joiner, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7, 0xF0, 5, 0xF7});
    EXPECT_EQ(out.messages, (std::vector<Bytes>{{0xF0, 5, 0xF7}}));
    EXPECT_EQ(out.lost, 3u);

    // An overrun abandons the open message; its remaining pieces count no more.
    out.messages.clear();
    out.Add(joiner, {0xF0, 1});
    EXPECT_EQ(joiner.Abandon(), 1u);
    out.Add(joiner, {2, 3, 0xF7});
    out.Add(joiner, {0xF0, 9, 0xF7});
    EXPECT_EQ(out.messages, (std::vector<Bytes>{{0xF0, 9, 0xF7}}));
    EXPECT_EQ(out.lost, 3u);
    EXPECT_EQ(joiner.Abandon(), 0u);
}

} // namespace
} // namespace velmora
