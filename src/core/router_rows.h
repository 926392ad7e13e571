// The Multi Out router's four rows as the settings file keeps them: each row
// whose choices differ from a fresh start's is stored under [More] as
//     Router2=1,3,31,36,84,Synth B
// (switched on, list indices of channel, transposition, lowest and highest
// note, then the device's name, which may hold commas).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct RouterRow {
    bool on = false;
    std::string device;      // by name; "" = the first device listed
    int channelIndex = 0;    // 0 "As Input", n = channel n
    int transposeIndex = 24; // index - 24 semitones
    int lowIndex = 0;        // note numbers
    int highIndex = 127;
    bool operator==(const RouterRow&) const = default;
};

using RouterRows = std::array<RouterRow, 4>;

// A fresh start's rows: row 1 switched on, the others off, each on the first
// device, "As Input", no transposition, the whole keyboard.
RouterRows DefaultRouterRows();

// The key of row k (1 to 4): "Router1" ... "Router4".
std::string RouterRowKey(int k);
// The value stored for a row.
std::string RouterRowText(const RouterRow& row);
// A stored value read back; nothing when it is not one RouterRowText writes
// (a number out of range, a field missing).
std::optional<RouterRow> RouterRowFrom(std::string_view text);

} // namespace velmora
