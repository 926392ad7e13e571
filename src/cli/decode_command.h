// `velmora-cli decode`: short messages in, events-history lines out.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace velmora::cli {

// The history line of one message, without its CR LF, in UTF-8.
std::string DecodeLineUtf8(std::string_view hexText, std::string* error);

// Decodes the bytes given as arguments, or else every line of `in`. Writes the
// lines to `out` and one message per bad line to `err`; returns 2 when any
// line was bad, else 0.
int RunDecode(std::span<const std::string_view> args, std::FILE* in, std::FILE* out,
              std::FILE* err);

} // namespace velmora::cli
