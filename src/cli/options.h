// A small reader for "--name value" options of the subcommands.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

struct Options {
    std::map<std::string, std::string, std::less<>> values; // "--in" -> "1"
    std::vector<std::string> positional;
    bool help = false;
    std::string error; // set when the command line can't be read

    std::optional<std::string> Get(std::string_view name) const;
    // The value as a whole number in [min, max]; sets `error` when it is not.
    std::optional<int> GetInt(std::string_view name, int min, int max);
};

// `valued` lists the options that take a value; anything else starting with
// "--" is an error.
Options ParseOptions(std::span<const std::string_view> args,
                     std::initializer_list<std::string_view> valued);

} // namespace velmora::cli
