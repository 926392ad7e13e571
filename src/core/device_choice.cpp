#include "core/device_choice.h"

#include <algorithm>

namespace velmora {

StartDevice ChooseStartDevice(const std::vector<std::string>& listed, int storedNumber,
                              const std::string& storedName) {
    StartDevice start;
    if (!storedName.empty()) {
        const auto found = std::find(listed.begin(), listed.end(), storedName);
        if (found == listed.end()) {
            start.missingName = storedName;
        } else {
            start.index = static_cast<int>(found - listed.begin());
        }
        return start;
    }
    const int count = static_cast<int>(listed.size());
    start.index = storedNumber >= 0 && storedNumber < count ? storedNumber : (count > 0 ? 0 : -1);
    return start;
}

StartDevice ChooseStartInput(const std::vector<std::string>& devices, const std::string& ownEntry,
                             int storedNumber, const std::string& storedName) {
    if (!ownEntry.empty() && storedName == ownEntry) {
        return {static_cast<int>(devices.size()), {}};
    }
    return ChooseStartDevice(devices, storedNumber, storedName);
}

std::string DeviceClient(const std::string& name) {
    return name.substr(0, name.find(':'));
}

FirstStartOutput ChooseFirstStartOutput(const std::vector<std::string>& inputs, int inputIndex,
                                        const std::vector<std::string>& outputs) {
    FirstStartOutput choice;
    if (inputIndex < 0 || inputIndex >= static_cast<int>(inputs.size()) || outputs.empty()) {
        return choice;
    }
    const std::string client = DeviceClient(inputs[static_cast<std::size_t>(inputIndex)]);
    if (DeviceClient(outputs.front()) != client) {
        return choice;
    }
    for (std::size_t i = 1; i < outputs.size(); ++i) {
        if (DeviceClient(outputs[i]) != client) {
            choice.index = static_cast<int>(i);
            return choice;
        }
    }
    choice.thru = false;
    choice.why = "Thru is off: the only output, '" + outputs.front() +
                 "', belongs to the input's device and would send everything back to it.";
    return choice;
}

std::string OwnPortNameProblem(const std::string& name) {
    if (name.empty()) {
        return "the name is empty";
    }
    if (name.size() > kMaxOwnPortNameBytes) {
        return "the name is longer than " + std::to_string(kMaxOwnPortNameBytes) + " bytes";
    }
    if (name.find(':') != std::string::npos) {
        return "the name holds a ':', which separates client and port";
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        return "the name holds a control character";
    }
    return {};
}

} // namespace velmora
