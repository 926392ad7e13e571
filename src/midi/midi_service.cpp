#include "midi/midi_service.h"

#include <chrono>

namespace velmora::midi {

std::uint64_t InputClockMicros() {
    // clock_gettime underneath: no lock, no allocation, no system call on
    // Linux (vDSO).
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

std::unique_ptr<MidiOutPort> MidiService::OpenOut(int device) {
    const std::optional<std::string> name = OutDeviceName(device);
    return name ? OpenOut(*name) : nullptr;
}

std::unique_ptr<MidiInPort> MidiService::OpenIn(int device, InputCallback callback) {
    const std::optional<std::string> name = InDeviceName(device);
    return name ? OpenIn(*name, std::move(callback)) : nullptr;
}

std::vector<std::string> OutDeviceNames(MidiService& service) {
    std::vector<std::string> names;
    const int n = service.OutDeviceCount();
    for (int device = 0; device < n; ++device) {
        names.push_back(service.OutDeviceName(device).value_or(""));
    }
    return names;
}

std::vector<std::string> InDeviceNames(MidiService& service) {
    std::vector<std::string> names;
    const int n = service.InDeviceCount();
    for (int device = 0; device < n; ++device) {
        names.push_back(service.InDeviceName(device).value_or(""));
    }
    return names;
}

} // namespace velmora::midi
