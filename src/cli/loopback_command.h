// `velmora-cli loopback`: numbered probes through a way out and back in.
#pragma once

#include <span>
#include <string_view>

namespace velmora::cli {

int RunLoopback(std::span<const std::string_view> args);

} // namespace velmora::cli
