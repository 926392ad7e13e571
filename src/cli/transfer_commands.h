// `velmora-cli record` and `velmora-cli send`: sysex dumps to and from
// .syx files.
#pragma once

#include <span>
#include <string_view>

namespace velmora::cli {

// Records until the transfer has ended or SIGINT/SIGTERM, then saves.
int RunRecord(std::span<const std::string_view> args, int argc, char** argv);

// Sends a file; 0 only when every block went out.
int RunSend(std::span<const std::string_view> args);

} // namespace velmora::cli
