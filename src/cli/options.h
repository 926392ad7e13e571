// A small reader for the options of the subcommands: "--name value",
// "--name=value", flags, and the short forms -i, -o, -a and -q.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

struct Options {
    std::map<std::string, std::string, std::less<>> values; // "--in" -> "1"
    std::set<std::string, std::less<>> flags;               // "--json"
    std::vector<std::string> positional;                    // "-" included
    bool help = false;
    std::string error; // set when the command line can't be read

    std::optional<std::string> Get(std::string_view name) const;
    bool Has(std::string_view flag) const { return flags.contains(flag); }
    // The value as a whole number in [min, max]; sets `error` when it is not.
    std::optional<int> GetInt(std::string_view name, int min, int max);
    // Sets `error` for a positional argument (the first), when there is one.
    void RefuseArguments();
};

// `valued` lists the options that take a value, `flags` those that do not;
// anything else starting with "-" (but "-" alone) is an error naming it.
// --api takes only the services there are.
Options ParseOptions(std::span<const std::string_view> args,
                     std::initializer_list<std::string_view> valued,
                     std::initializer_list<std::string_view> flags = {});

// Prints "velmora-cli COMMAND: ERROR; see 'velmora-cli COMMAND --help'" on
// standard error, the error made safe for the terminal, and returns 2.
int UsageError(const char* command, const std::string& error);

} // namespace velmora::cli
