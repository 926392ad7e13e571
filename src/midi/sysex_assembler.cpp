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

    if (block.front() == kSysexStart) {
        Clear(); // a new message ends one that never got its F7
        if (block.back() == kSysexEnd) {
            return send(block);
        }
        if (block.size() > maxHeld_) {
            return false;
        }
        held_.assign(block.begin(), block.end());
        holding_ = true;
        return true;
    }

    if (!holding_) {
        // A complete message that is not sysex goes out as it is; a
        // continuation without its start cannot be sent on its own.
        if (block.front() < 0x80 || block.front() == kSysexEnd) {
            return false;
        }
        return send(block);
    }

    if (held_.size() + block.size() > maxHeld_) {
        Clear();
        return false;
    }
    held_.insert(held_.end(), block.begin(), block.end());
    if (block.back() != kSysexEnd) {
        return true;
    }
    const bool sent = send(held_);
    Clear();
    return sent;
}

} // namespace velmora::midi
