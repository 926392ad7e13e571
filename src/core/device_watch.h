// One step of following a chosen MIDI device while the system's device list
// changes: from what is listed now and what its port says, whether to close
// the port, open it again, and what to tell the user. Both front ends poll
// with it: the window for its input and output, velmora-cli monitor for its
// input.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

struct WatchedDevice {
    std::string name;  // the chosen device; "" when none is chosen
    bool open = false; // its port is open
    bool away = false; // closed because it left: opened again once it is listed
};

enum class DeviceAction {
    None,
    Close,          // it left: close its port
    Reopen,         // it is back: open it again
    CloseAndReopen, // it left and came back between two looks: its port is dead
};

struct DeviceWatchStep {
    DeviceAction action = DeviceAction::None;
    bool left = false;     // it is no longer listed: say so
    bool returned = false; // it is listed again after it left: say so
};

// `listed`: the device's name is in the list now. `portGone`: its open port
// reports that the device behind it went away (it may be listed again).
DeviceWatchStep WatchDevice(const WatchedDevice& device, bool listed, bool portGone);

// What the window says of a device that left: "The MIDI input 'Keys' went away."
std::string DeviceLeftText(std::string_view kind, std::string_view name);

} // namespace velmora
