// Turns the program's long-message sends into what a MIDI backend accepts.
// The program sends a long sysex message as several blocks (the first from
// F0 without F7, middle blocks, a last block ending with F7). Some backends
// (JACK) pass each block on as it comes; others (ALSA sequencer, CoreMIDI,
// WinMM through RtMidi) only take whole messages, so the blocks of one
// message are held and sent together when its F7 arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora::midi {

class SysexAssembler {
  public:
    enum class Mode {
        Blocks,        // send every block as it comes, cut into pieces of at most maxPiece
        WholeMessages, // hold the blocks of a sysex message until its F7
    };
    // Hands bytes to the backend; false when the backend refused them.
    using SendFn = std::function<bool(std::span<const std::uint8_t>)>;

    static constexpr std::size_t kDefaultMaxPiece = 4096;
    static constexpr std::size_t kDefaultMaxHeld = std::size_t{16} << 20;

    explicit SysexAssembler(Mode mode, std::size_t maxPiece = kDefaultMaxPiece,
                            std::size_t maxHeld = kDefaultMaxHeld);

    // One SendLong call. True when the bytes were sent, or (WholeMessages) are
    // held for the send of their message. The block that completes a held
    // message returns the result of sending the whole message. Refused
    // (false): an empty block, and with WholeMessages a message growing
    // beyond maxHeld (what was held is dropped). With WholeMessages, stray
    // bytes (data bytes or an F7 outside a message) are skipped up to the
    // next F0 and counted in Unsent, as is a held message that a new F0 ends.
    bool Send(std::span<const std::uint8_t> block, const SendFn& send);

    // Drops a partly received message (a port reset or close).
    void Clear();
    // Drops it and counts it as unsent.
    void DropHeld() {
        unsent_ += held_.size();
        Clear();
    }
    bool Holding() const { return holding_; }
    std::size_t HeldBytes() const { return held_.size(); }
    // Bytes handed to Send that never went out and never will.
    std::uint64_t Unsent() const { return unsent_; }

  private:
    bool SendPieces(std::span<const std::uint8_t> bytes, const SendFn& send) const;

    Mode mode_;
    std::size_t maxPiece_;
    std::size_t maxHeld_;
    bool holding_ = false;
    std::vector<std::uint8_t> held_;
    std::uint64_t unsent_ = 0;
};

} // namespace velmora::midi
