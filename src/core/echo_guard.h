// Tells a feedback loop from playing: what Velmora passes on (thru or the
// router) and then receives again, unchanged and soon after, is an echo. A
// loop echoes pass after pass, but so does a device that repeats one message
// fast (a pedal resending its value, a sequencer's roll). So after a chain
// of echoes the guard asks for a probe: a sysex message for no
// manufacturer (ID 7D, which devices ignore) sent after the message. Only a
// loop sends it back. Plain data, fixed size: it never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/short_message.h"

namespace velmora {

enum class EchoVerdict {
    Pass,  // pass the message on
    Probe, // pass it on, then send ProbeMessage() on the same way
};

class EchoGuard {
  public:
    // A JACK loop at 1024 frames a period takes about two periods a pass.
    static constexpr std::int64_t kEchoWindowMs = 50;
    static constexpr std::int64_t kChainGapMs = 250;
    static constexpr int kSuspectEchoes = 8;
    // After a probe that did not come back, how long no other is sent.
    static constexpr std::int64_t kProbeQuietMs = 1000;

    // `path` tells the probes of two guards apart (thru 0, router 1).
    explicit EchoGuard(std::uint8_t path = 0) : probe_{0xF0, 0x7D, 0x56, 0x4C, 0x4D, path, 0xF7} {}

    // `nowMs` comes from the caller's clock and never decreases.
    void NoteSent(ShortMessage message, std::int64_t nowMs);
    EchoVerdict NoteReceived(ShortMessage message, std::int64_t nowMs);
    std::span<const std::uint8_t> ProbeMessage() const { return probe_; }
    // True for this guard's probe: it came back, so the path is a loop.
    bool IsProbe(std::span<const std::uint8_t> sysex) const;
    void Clear();

    int Echoes() const { return echoes_; }

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
    std::int64_t quietUntilMs_ = 0;
    std::array<std::uint8_t, 7> probe_;
};

} // namespace velmora
