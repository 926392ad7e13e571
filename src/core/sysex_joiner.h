// Joins a sysex message that arrives in pieces (the ALSA sequencer carries a
// long one as several events: the first from F0, the last up to F7) back into
// one message. Real-time bytes inside a piece are messages of their own.
// Plain code over storage reserved up front: Add never allocates, so it can
// run on a real-time input thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace velmora {

class SysexJoiner {
  public:
    // Messages longer than `maxBytes` are dropped whole (and counted).
    explicit SysexJoiner(std::size_t maxBytes);

    // One piece as it came. `emit(std::span<const std::uint8_t>)` gets each
    // whole sysex message (F0 ... F7) and each real-time byte. Returns the
    // number of messages or runs of bytes lost in this piece: bytes outside a
    // message, a message cut by another status byte or a new F0, one too long.
    template <typename Emit> std::size_t Add(std::span<const std::uint8_t> piece, Emit&& emit);

    // Forgets the message being joined: its pieces were lost (an input
    // overrun). Returns 1 when one was open, then counted as lost, else 0.
    std::size_t Abandon();

    bool Joining() const { return state_ != State::Idle; }
    std::size_t Held() const { return length_; }

  private:
    enum class State { Idle, Joining, Skipping };

    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_;
    std::size_t length_ = 0;
    State state_ = State::Idle;
    bool strayRun_ = false; // within a run of bytes outside any message
};

template <typename Emit>
std::size_t SysexJoiner::Add(std::span<const std::uint8_t> piece, Emit&& emit) {
    constexpr std::uint8_t kStart = 0xF0, kEnd = 0xF7, kRealTime = 0xF8;
    std::size_t lost = 0;
    for (const std::uint8_t b : piece) {
        if (b >= kRealTime) {
            emit(std::span<const std::uint8_t>(&b, 1));
            continue;
        }
        if (b == kStart) {
            lost += Abandon(); // a new message cuts one that had no F7
            state_ = State::Joining;
            strayRun_ = false;
            bytes_[0] = b;
            length_ = 1;
            continue;
        }
        if (state_ == State::Idle) {
            lost += strayRun_ ? 0 : 1;
            strayRun_ = true;
            continue;
        }
        if (b >= 0x80 && b != kEnd) {
            lost += Abandon(); // another status byte: the message ends here, cut
            continue;
        }
        if (state_ == State::Joining) {
            if (length_ == capacity_) {
                length_ = 0;
                state_ = State::Skipping; // too long: lost whole
                ++lost;
            } else {
                bytes_[length_++] = b;
            }
        }
        if (b == kEnd) {
            if (state_ == State::Joining) {
                emit(std::span<const std::uint8_t>(bytes_.get(), length_));
            }
            state_ = State::Idle;
            length_ = 0;
        }
    }
    return lost;
}

} // namespace velmora
