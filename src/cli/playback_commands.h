// `velmora-cli play` and `velmora-cli panic`.
#pragma once

#include <span>
#include <string_view>

namespace velmora::cli {

int RunPlay(std::span<const std::string_view> args);
int RunPanic(std::span<const std::string_view> args);

} // namespace velmora::cli
