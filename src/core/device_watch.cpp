#include "core/device_watch.h"

namespace velmora {

DeviceWatchStep WatchDevice(const WatchedDevice& device, bool listed, bool portGone) {
    DeviceWatchStep step;
    if (device.name.empty()) {
        return step;
    }
    if (device.open) {
        if (portGone && listed) {
            step.action = DeviceAction::CloseAndReopen;
        } else if (portGone || !listed) {
            step.action = DeviceAction::Close;
            step.left = true;
        }
        return step;
    }
    if (device.away && listed) {
        step.action = DeviceAction::Reopen;
        step.returned = true;
    }
    return step;
}

std::string DeviceLeftText(std::string_view kind, std::string_view name) {
    return "The MIDI " + std::string(kind) + " '" + std::string(name) + "' went away.";
}

} // namespace velmora
