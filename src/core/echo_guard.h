// Tells a feedback loop from playing: what Velmora passes on (thru or the
// router) and then receives again, unchanged and soon after, is an echo. A
// loop echoes pass after pass, but so does a device that repeats one message
// fast (a pedal resending its value). So after a chain of echoes the guard
// withholds the next one and watches: a device repeats it all the same, a
// loop falls silent, since the withheld copy was the one going round. Plain
// data, fixed size: it never allocates.
#pragma once

#include <array>
#include <cstdint>

#include "core/short_message.h"

namespace velmora {

enum class EchoVerdict {
    Pass,     // pass the message on
    Withhold, // don't: it tests whether the echoes come from a loop
    Loop,     // a loop: switch the path off
};

class EchoGuard {
  public:
    // A JACK loop at 1024 frames a period takes about two periods a pass.
    static constexpr std::int64_t kEchoWindowMs = 50;
    static constexpr std::int64_t kChainGapMs = 250;
    static constexpr int kSuspectEchoes = 8;

    // `nowMs` comes from the caller's clock and never decreases.
    void NoteSent(ShortMessage message, std::int64_t nowMs);
    EchoVerdict NoteReceived(ShortMessage message, std::int64_t nowMs);
    // A withheld message that nothing repeated within the window proves a
    // loop, also when nothing more arrives: the caller's timer asks.
    static bool ProbeExpired(std::int64_t withheldAtMs, std::int64_t nowMs) {
        return withheldAtMs >= 0 && nowMs - withheldAtMs > kEchoWindowMs;
    }
    void Clear();

    int Echoes() const { return echoes_; }
    bool Probing() const { return probeAtMs_ >= 0; }

  private:
    struct Sent {
        ShortMessage message = 0;
        std::int64_t timeMs = 0;
        bool echoed = true; // an empty slot matches nothing
    };
    std::array<Sent, 32> sent_{};
    std::size_t next_ = 0;
    int echoes_ = 0;
    std::int64_t lastEchoMs_ = 0;
    ShortMessage probe_ = 0;
    std::int64_t probeAtMs_ = -1; // when the probe was withheld; -1 none
};

} // namespace velmora
