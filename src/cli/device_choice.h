// A device given on the command line: by its number in 'velmora-cli list',
// by its exact name, which stays right when other programs add or remove
// ports (JACK renumbers its ports as clients come and go), or by a part of
// its name, case-insensitive, when only one device's name holds it. A name
// may be given as it is or as 'list' shows it, control characters escaped.
#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "core/terminal_text.h"
#include "midi/midi_service.h"

namespace velmora::cli {

struct DeviceChoice {
    int number = -1;
    std::string name;  // UTF-8
    std::string error; // why there is no such device, safe for a terminal
};

// `output`: an output device, else an input device.
inline DeviceChoice ChooseDevice(midi::MidiService& service, const std::string& given,
                                 bool output) {
    DeviceChoice choice;
    const char* kind = output ? "output" : "input";
    const int count = output ? service.OutDeviceCount() : service.InDeviceCount();
    auto nameOf = [&](int device) {
        return output ? service.OutDeviceName(device) : service.InDeviceName(device);
    };
    int number = 0;
    const char* end = given.data() + given.size();
    const auto [ptr, ec] = std::from_chars(given.data(), end, number);
    if (!given.empty() && ec == std::errc{} && ptr == end) {
        if (number < 0 || number >= count) {
            choice.error = "there is no MIDI " + std::string(kind) + " " + TerminalSafe(given) +
                           " (" + std::to_string(count) + " " + kind + "s); see 'velmora-cli list'";
            return choice;
        }
        choice.number = number;
        choice.name = nameOf(number).value_or("");
        return choice;
    }
    for (int device = 0; device < count; ++device) {
        if (nameOf(device) == given) {
            choice.number = device;
            choice.name = given;
            return choice;
        }
    }
    for (int device = 0; device < count; ++device) {
        if (const auto name = nameOf(device); name && TerminalSafe(*name) == given) {
            choice.number = device;
            choice.name = *name;
            return choice;
        }
    }
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::vector<std::string> matches;
    if (!given.empty()) {
        const std::string part = lower(given);
        for (int device = 0; device < count; ++device) {
            const std::string name = nameOf(device).value_or("");
            if (lower(name).find(part) != std::string::npos ||
                lower(TerminalSafe(name)).find(part) != std::string::npos) {
                choice.number = device;
                matches.push_back(name);
            }
        }
    }
    if (matches.size() == 1) {
        choice.name = matches.front();
        return choice;
    }
    choice.number = -1;
    if (matches.empty()) {
        choice.error = "there is no MIDI " + std::string(kind) + " named '" + TerminalSafe(given) +
                       "'; see 'velmora-cli list'";
        return choice;
    }
    choice.error = "'" + TerminalSafe(given) + "' is part of the names of " +
                   std::to_string(matches.size()) + " MIDI " + kind + "s:";
    for (const auto& name : matches) {
        choice.error += "\n  " + TerminalSafe(name);
    }
    choice.error += "\ngive more of the name";
    return choice;
}

} // namespace velmora::cli

#include <cstdio>
#include <memory>

#include "cli/options.h"
#include "midi/service_factory.h"

namespace velmora::cli {

// The MIDI service that --api names; prints why there is none, as `command`.
inline std::unique_ptr<midi::MidiService> OpenServiceOrComplain(const char* command,
                                                                const Options& options) {
    std::string error;
    auto service = midi::CreateMidiService(options.Get("--api").value_or(""), &error);
    if (!service) {
        std::fprintf(stderr, "velmora-cli %s: %s\n", command, error.c_str());
    }
    return service;
}

// ChooseDevice, printing why there is no such device, as `command`.
inline bool ChooseDeviceOrComplain(const char* command, midi::MidiService& service,
                                   const std::string& given, bool output, DeviceChoice& choice) {
    choice = ChooseDevice(service, given, output);
    if (!choice.error.empty()) {
        std::fprintf(stderr, "velmora-cli %s: %s\n", command, choice.error.c_str());
        return false;
    }
    return true;
}

} // namespace velmora::cli
