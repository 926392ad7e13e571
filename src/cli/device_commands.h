// `velmora-cli list` and `velmora-cli monitor`.
#pragma once

#include <span>
#include <string_view>

namespace velmora::cli {

int RunList(std::span<const std::string_view> args);

// Runs until SIGINT or SIGTERM, then closes the ports and returns 0.
int RunMonitor(std::span<const std::string_view> args, int argc, char** argv);

} // namespace velmora::cli
