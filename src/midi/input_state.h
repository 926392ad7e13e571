// State shared by the front end's thread and the MIDI delivery thread: what
// the input callback reads, and what it leaves for the front end. Every field is an atomic or is
// guarded by the lock beside it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/short_message.h"

namespace velmora::midi {

enum InputModeValue : int { kMonitor = 0, kRecord = 1, kMultiOut = 3 };

// What the input path reads for every message and leaves for the front end.
// Front ends bind their controls to these (the window binds its switches and
// its data LED to them).
struct InputPathState {
    std::atomic<int> mainOutOpen{0};           // 1 = the main output is open
    std::atomic<int> thruOn{0};                // 1 = thru passes input to the main output
    std::atomic<int> thruChannel{0};           // 0 as input, 1..16 channel n, -1 none
    std::atomic<std::int32_t> dataLedStamp{0}; // 0 = dark, else when routing last lit it
    // Set by the input path when it switched thru off because what it sent
    // came back; the front end says so and clears it.
    std::atomic<bool> thruLoopBroken{false};
    // False: no path is ever watched for feedback loops, and no probe is
    // sent (the front end's option). Thru and the router then pass
    // everything on, also what comes back.
    std::atomic<bool> loopGuardOn{true};
    // Timing clock is not handed over; the window reads its rate from these.
    std::atomic<std::uint64_t> clocksReceived{0};
    std::atomic<std::int32_t> lastClockMs{0};
    // True while a tool of the window (a capture, the stream check) wants
    // every clock too: each is then handed over as a Clock.
    std::atomic<bool> handClocks{false};
};

// What a service that passes thru inside its own cycle reads there
// (MidiOutPort::PassThruInCycle): atomics only, as it reads them on the
// real-time thread. Thru passes what the delivery thread's thru would: in
// Monitor mode, with the input active, the main output open and thru on.
struct ThruSwitches {
    const InputPathState* path = nullptr;
    const std::atomic<bool>* inputActive = nullptr;
    const std::atomic<int>* inputMode = nullptr;

    // Whether thru passes input now; if so, `channel` is its thru channel.
    bool PassingNow(int& channel) const {
        if (path == nullptr || !inputActive->load(std::memory_order_acquire) ||
            inputMode->load(std::memory_order_acquire) != kMonitor ||
            path->mainOutOpen.load(std::memory_order_acquire) != 1 ||
            path->thruOn.load(std::memory_order_acquire) != 1) {
            return false;
        }
        channel = path->thruChannel.load(std::memory_order_acquire);
        return true;
    }
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "read on the real-time thread");

// One output of the Multi Out router: its port number (0 = off, j = router
// port j) and the selection indices of its four lists.
struct RouterOutputSettings {
    std::atomic<int> portNumber{0};
    std::atomic<int> channelIndex{0};    // cmbChannel: 0 "As Input", n = channel n
    std::atomic<int> transposeIndex{24}; // cmbTransp: index - 24 semitones
    std::atomic<int> splitLowIndex{0};   // cmbSplitLo: note number
    std::atomic<int> splitHighIndex{127};
};

struct RouterSettings {
    std::array<RouterOutputSettings, 4> outputs;
    // Held while one message is routed and for a whole port assignment, so
    // that nothing is sent on a port being closed.
    std::mutex routing;
    // Set by the input path when what it routed came back: routing then
    // stops until the outputs are assigned again (which clears it).
    std::atomic<bool> loopBroken{false};
};

// A recording in progress and the bytes of a file being sent.
struct SysexStore {
    std::mutex lock; // appends on the MIDI thread against reads on the window thread
    std::vector<std::uint8_t> SysexBuffer;
    int RecordBlockCount = 0;
    std::string statusText; // "%d blocks received - %d Bytes received"
};

} // namespace velmora::midi
