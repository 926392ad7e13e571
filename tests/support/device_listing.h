// Reads the device numbers out of `velmora-cli list`, for end-to-end tests.
#pragma once

#include <sstream>
#include <string>

namespace velmora::testing {

// The number `velmora-cli list` gives the device called `name` in `section`
// (rows read "  NN  name"); -1 when it is not listed.
inline int DeviceNumber(const std::string& listing, const std::string& section,
                        const std::string& name) {
    std::istringstream lines(listing);
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        if (!line.starts_with(" ")) {
            inSection = line == section + ":";
            continue;
        }
        const auto number = line.find_first_not_of(' ');
        const auto gap = line.find("  ", number);
        if (inSection && gap != std::string::npos && line.substr(gap + 2) == name) {
            return std::stoi(line.substr(number, gap - number));
        }
    }
    return -1;
}

} // namespace velmora::testing
