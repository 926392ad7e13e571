#include "midi/sysex_assembler.h"

#include <algorithm>

namespace velmora::midi {

namespace {

constexpr std::uint8_t kSysexStart = 0xF0;
constexpr std::uint8_t kSysexEnd = 0xF7;

} // namespace

SysexAssembler::SysexAssembler(Mode mode, std::size_t maxPiece, std::size_t maxHeld)
    : mode_(mode), maxPiece_(std::max<std::size_t>(maxPiece, 1)), maxHeld_(maxHeld) {}

void SysexAssembler::Clear() {
    holding_ = false;
    held_.clear();
}

bool SysexAssembler::SendPieces(std::span<const std::uint8_t> bytes, const SendFn& send) const {
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), maxPiece_);
        if (!send(bytes.first(n))) {
            return false;
        }
        bytes = bytes.subspan(n);
    }
    return true;
}

bool SysexAssembler::Send(std::span<const std::uint8_t> block, const SendFn& send) {
    if (block.empty()) {
        return false;
    }
    if (mode_ == Mode::Blocks) {
        return SendPieces(block, send);
    }

    if (!holding_ && block.front() != kSysexStart && block.front() != kSysexEnd &&
        block.front() >= 0x80) {
        return send(block); // a complete message that is not sysex goes out as it is
    }
    while (!block.empty()) {
        if (block.front() == kSysexStart) {
            unsent_ += held_.size(); // a new message ends one that never got its F7
            Clear();
            holding_ = true;
        } else if (!holding_) {
            // Stray bytes: whole-message backends can't take them.
            const auto start = std::find(block.begin(), block.end(), kSysexStart);
            const auto skipped = static_cast<std::size_t>(start - block.begin());
            unsent_ += skipped;
            block = block.subspan(skipped);
            continue;
        }
        const auto end = std::find(block.begin(), block.end(), kSysexEnd);
        const std::size_t take =
            end == block.end() ? block.size() : static_cast<std::size_t>(end - block.begin()) + 1;
        if (held_.size() + take > maxHeld_) {
            unsent_ += held_.size() + take;
            Clear();
            return false;
        }
        held_.insert(held_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(take));
        block = block.subspan(take);
        if (held_.back() == kSysexEnd) {
            const bool sent = send(held_);
            Clear();
            if (!sent) {
                return false;
            }
        }
    }
    return true;
}

} // namespace velmora::midi
