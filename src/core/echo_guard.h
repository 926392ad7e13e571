// Tells a feedback loop from playing: what Velmora passes on (thru or the
// router) and then receives again, unchanged, is an echo. A loop echoes pass
// after pass, but so does a repeating pattern (a hi-hat, a sequencer's roll,
// a pedal resending its value), so echoes alone never stop a path and never
// make Velmora send anything. After a chain of them the guard asks the MIDI
// service whether the graph has a way back from the output to the input:
//   - None: nothing is done, ever, however long the chain.
//   - Possible (a chain of clients that may pass on what they get): a probe,
//     a sysex message for no manufacturer (ID 7D, which devices ignore), is
//     sent once for the chain; only a loop returns it, and only a returned
//     probe stops a path (a synth played from its own sequencer repeats
//     too).
//   - Unknown (hardware, where a cable or a device's echo is invisible):
//     a probe only once the echoes are as close as a loop's passes, once for
//     the chain, and after one that did not come back none for a long while.
// Plain data, fixed size: it never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/midi_graph.h"
#include "core/short_message.h"

namespace velmora {

enum class EchoVerdict {
    Pass,       // pass the message on
    AskWayBack, // pass it on, and hand Decide the service's WayBack
};

enum class LoopAction {
    None,
    Probe, // send ProbeMessage() on the same way
};

class EchoGuard {
  public:
    // A JACK loop at 1024 frames a period takes about two periods a pass.
    static constexpr std::int64_t kCloseEchoMs = 50;
    static constexpr std::int64_t kCloseGapMs = 250;
    // Where the graph has a way back, echoes count this late too: a busy
    // machine delays the passes of a loop.
    static constexpr std::int64_t kEchoWindowMs = 1000;
    static constexpr std::int64_t kChainGapMs = 1000;
    // Every this many echoes of a chain the way back is asked again, so a
    // loop made while a pattern repeats is noticed as soon.
    static constexpr int kSuspectEchoes = 8;
    // How long a probe may take to come back.
    static constexpr std::int64_t kProbeAnswerMs = 2000;
    // After a probe that did not come back, no other for this long; each
    // further one that does not come back doubles it, up to the most.
    static constexpr std::int64_t kFirstBackOffMs = 5 * 60 * 1000;
    static constexpr std::int64_t kMostBackOffMs = 60 * 60 * 1000;

    // `path` tells the probes of two guards apart (thru 0, router 1).
    explicit EchoGuard(std::uint8_t path = 0) : probe_{0xF0, 0x7D, 0x56, 0x4C, 0x4D, path, 0xF7} {}

    // `nowMs` comes from the caller's clock and never decreases.
    void NoteSent(ShortMessage message, std::int64_t nowMs);
    EchoVerdict NoteReceived(ShortMessage message, std::int64_t nowMs);
    // After AskWayBack: what to do, given the service's answer.
    LoopAction Decide(WayBack wayBack, std::int64_t nowMs);
    std::span<const std::uint8_t> ProbeMessage() const { return probe_; }
    // True for this guard's probe: it came back, so the path is a loop.
    bool IsProbe(std::span<const std::uint8_t> sysex) const;
    void Clear();

    int Echoes() const { return echoes_; }
    int CloseEchoes() const { return closeEchoes_; }

  private:
    struct Sent {
        ShortMessage message = 0;
        std::int64_t timeMs = 0;
        bool echoed = true; // an empty slot matches nothing
    };
    void NoteProbeUnanswered(std::int64_t nowMs);

    std::array<Sent, 32> sent_{};
    std::size_t next_ = 0;
    int echoes_ = 0;      // of this chain
    int closeEchoes_ = 0; // of this chain's close run
    std::int64_t lastEchoMs_ = 0;
    std::int64_t lastCloseEchoMs_ = 0;
    bool probedThisChain_ = false;
    bool probePending_ = false;
    std::int64_t probeSentMs_ = 0;
    std::int64_t quietUntilMs_ = 0;
    std::int64_t backOffMs_ = kFirstBackOffMs;
    std::array<std::uint8_t, 7> probe_;
};

} // namespace velmora
