// Cuts arbitrary bytes as a .syx file and checks the cut against the send
// loop written out step by step on a copy of the data: the cut always ends,
// its blocks are contiguous slices of the file of 1 to 4096 bytes from the
// start, and they cover exactly the bytes the loop sends, no more, no less.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "core/sysex_file.h"

using namespace velmora;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// The loop as the send window runs it: while the rest holds an F0, send up
// to and including the next F7, or (a truncated last message) to the end.
// Returns the messages sent, in order.
std::vector<std::vector<std::uint8_t>> ReferenceMessages(std::span<const std::uint8_t> file) {
    std::span<const std::uint8_t> work = file;
    std::vector<std::vector<std::uint8_t>> messages;
    while (std::memchr(work.data(), kSysexStart, work.size()) != nullptr) {
        const void* end = std::memchr(work.data(), kSysexEnd, work.size());
        const std::size_t p =
            end == nullptr ? work.size() : static_cast<const std::uint8_t*>(end) - work.data() + 1;
        messages.emplace_back(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(p));
        if (work.size() <= p) {
            break;
        }
        work = work.subspan(p);
    }
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // FE n stands for a run of filler bytes, so that short inputs make
    // messages longer than a block. The reference is quadratic: files stay
    // below 16 KB.
    std::vector<std::uint8_t> file;
    for (std::size_t i = 0; i < size && file.size() < 16384; ++i) {
        const std::uint8_t b = data[i];
        if (b == 0xFE && i + 1 < size) { // FE n: n * 64 filler bytes
            file.insert(file.end(), std::size_t{data[++i]} * 64, 0x11);
        } else {
            file.push_back(b);
        }
    }

    const SysexSendPlan plan = CutSysexFile(file);
    Check(plan.gaugeMaximum == file.size());

    std::size_t at = 0;
    int messages = 0;
    std::vector<std::vector<std::uint8_t>> sent;
    for (std::size_t i = 0; i < plan.blocks.size(); ++i) {
        const SysexBlock& b = plan.blocks[i];
        Check(b.offset == at);
        Check(b.length >= 1 && b.length <= kSysexBlockBytes);
        Check(b.offset + b.length <= file.size());
        Check(b.startsMessage == (i == 0 || plan.blocks[i - 1].endsMessage));
        Check(b.endsMessage || b.length == kSysexBlockBytes);
        Check(b.number == static_cast<int>(i) + 1);
        at += b.length;
        Check(b.progress == at);
        // Inside a message no F7 comes before its last byte.
        const auto first = file.begin() + static_cast<std::ptrdiff_t>(b.offset);
        const auto last = first + static_cast<std::ptrdiff_t>(b.length) - 1;
        Check(std::find(first, last, kSysexEnd) == last);
        Check(*last == kSysexEnd || !b.endsMessage || i + 1 == plan.blocks.size());
        if (b.startsMessage) {
            ++messages;
            sent.emplace_back();
        }
        sent.back().insert(sent.back().end(), first, last + 1);
    }
    Check(at == plan.bytesToSend);
    Check(messages == plan.messages);
    Check(sent == ReferenceMessages(file));
    // Nothing after the cut's end holds an F0: no byte that should go is lost.
    Check(std::find(file.begin() + static_cast<std::ptrdiff_t>(at), file.end(), kSysexStart) ==
          file.end());
    Check(plan.truncatedLastMessage == (at > 0 && file[at - 1] != kSysexEnd));
    return 0;
}
