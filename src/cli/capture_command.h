// `velmora-cli capture`: MIDI inputs to a Standard MIDI File.
#pragma once

#include <span>
#include <string_view>

namespace velmora::cli {

// Runs until SIGINT, SIGTERM, SIGHUP or the time given, then writes the file.
int RunCapture(std::span<const std::string_view> args);

} // namespace velmora::cli
