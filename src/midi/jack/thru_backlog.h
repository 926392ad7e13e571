// The short messages an output's process cycle passes through for its input
// (thru inside the cycle) that wait to be written: a fixed first-in,
// first-out queue that only the real-time thread touches. The input's cycle
// puts in what it read this cycle, with the frame it came at; the output's
// cycle, later in the same process callback, writes what the cycle's budget
// leaves room for and keeps the rest, in order, for the next cycle. One
// thread, so no lock; its room is allocated when an input is first linked to
// the output (most outputs never are), before any cycle can put anything in,
// never in a cycle.
#pragma once

#include <jack/types.h>

#include <array>
#include <cstdint>
#include <memory>

namespace velmora::midi {

class ThruBacklog {
  public:
    // At the smallest budget (about 750 short events a cycle) some twenty
    // cycles of a keyboard client writing all its port takes.
    static constexpr std::size_t kCapacity = 16384;

    struct Entry {
        std::array<std::uint8_t, 3> bytes{};
        std::uint8_t length = 0;
        jack_nframes_t frame = 0; // where in its cycle it came
    };

    // Off the real-time thread, before the link that lets a cycle Push is
    // published; a no-op once done.
    void Allocate() {
        if (!entries_) {
            entries_ = std::make_unique<Entry[]>(kCapacity);
        }
    }

    bool Full() const { return tail_ - head_ == kCapacity; }
    bool Empty() const { return tail_ == head_; }
    std::size_t Size() const { return static_cast<std::size_t>(tail_ - head_); }
    void Push(const Entry& entry) { entries_[tail_++ % kCapacity] = entry; }
    const Entry& Front() const { return entries_[head_ % kCapacity]; }
    void Pop() { ++head_; }
    // Whether the front entry came in an earlier cycle than this one: it goes
    // out at the cycle's first frame, before anything of this cycle.
    bool FrontIsLate() const { return head_ < lateUntil_; }
    // At the end of the output's cycle: what is left is late from now on.
    void EndCycle() { lateUntil_ = tail_; }

  private:
    std::unique_ptr<Entry[]> entries_;
    std::uint64_t head_ = 0; // counts every entry ever taken out
    std::uint64_t tail_ = 0; // and every one put in
    std::uint64_t lateUntil_ = 0;
};

} // namespace velmora::midi
