// How the bytes of a .syx file are cut for sending: into messages at F7
// bytes, and each message into blocks of at most 4096 bytes, each block one
// long message on the output. Pure; the sender walks the result block by
// block.
//
// The cut, from the start of the file, while the rest of the file still holds
// an F0 somewhere:
//   - a message runs from the first byte of the rest up to and including the
//     next F7, whatever lies between;
//   - the message goes out in blocks of 4096 bytes and a last, shorter one;
//   - the rest starts after that F7.
// What that does with unusual files:
//   - bytes before the first F0 go out in front of the first message, in its
//     first block;
//   - a message need not begin with F0: with the rest 41 F7 F0 42 F7 the
//     messages are 41 F7 and F0 42 F7 (so an F7 with no F0 before it ends a
//     message of whatever precedes it);
//   - bytes after the last F7 that hold no F0 are neither sent nor counted;
//   - an empty file, or a file without any F0, sends nothing;
//   - a last message whose F0 has no F7 after it (a truncated file) goes out
//     as it is, up to the end of the file, as the final message: every byte
//     from the start of the file to the end of the last message is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

inline constexpr std::size_t kSysexBlockBytes = 4096;
inline constexpr std::uint8_t kSysexStart = 0xF0;
inline constexpr std::uint8_t kSysexEnd = 0xF7;

// One block: a slice of the file, sent as one long message.
struct SysexBlock {
    std::size_t offset = 0;     // where the block starts in the file
    std::size_t length = 0;     // 1 to kSysexBlockBytes
    bool startsMessage = false; // the first block of a message
    bool endsMessage = false;   // the last block of a message: a message boundary follows
    // What the window shows once this block is on its way: the number of
    // blocks so far (1 for the first) and the bytes of this and every
    // earlier block (the gauge's progress).
    int number = 0;
    std::size_t progress = 0;
};

struct SysexSendPlan {
    std::vector<SysexBlock> blocks; // in file order, contiguous from offset 0
    std::size_t gaugeMaximum = 0;   // the file's length, sent or not
    std::size_t bytesToSend = 0;    // the bytes the blocks cover
    int messages = 0;
    bool truncatedLastMessage = false; // the last message has no F7 of its own
};

SysexSendPlan CutSysexFile(std::span<const std::uint8_t> file);

} // namespace velmora
