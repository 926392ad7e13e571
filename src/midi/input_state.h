// State shared by the window thread and the MIDI delivery thread: what the
// input callback reads from the windows' controls, and what it leaves for
// them. Every field is an atomic or is guarded by the lock beside it.
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

// The main window's controls that the callback reads (and the data LED it
// stamps while routing). The window binds its controls to these tags.
struct MainWindowTags {
    std::atomic<int> ImgOutOpen{0};          // 1 = main output open
    std::atomic<int> ImgThru{0};             // 1 = thru on
    std::atomic<int> cmbMidiThru{0};         // 0 "As Input", 1..16 "Channel n", -1 none
    std::atomic<std::int32_t> ImgLedData{0}; // 0 = dark, else the lighting stamp
};

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
};

// A recording in progress and the bytes of a file being sent.
struct SysexStore {
    std::mutex lock; // appends on the MIDI thread against reads on the window thread
    std::vector<std::uint8_t> SysexBuffer;
    int RecordBlockCount = 0;
    std::string statusText; // "%d blocks received - %d Bytes received"
};

} // namespace velmora::midi
