#include "cli/input_set.h"

#include <cstdio>

#include "core/terminal_text.h"

namespace velmora::cli {

std::vector<std::string> TakeInputs(std::span<const std::string_view> args,
                                    std::vector<std::string_view>& rest, std::string& error) {
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "-i" || a == "--in") {
            if (i + 1 == args.size()) {
                error = std::string(a) + " needs a value";
                break;
            }
            inputs.emplace_back(args[++i]);
        } else if (a.starts_with("--in=")) {
            inputs.emplace_back(a.substr(5));
        } else {
            rest.push_back(a);
        }
    }
    return inputs;
}

bool InputSet::Add(const std::string& name, const char* command) {
    if (!midi::InputSet::Add(name)) {
        std::fprintf(stderr, "velmora-cli %s: can't open the MIDI input '%s'\n", command,
                     TerminalSafe(name).c_str());
        return false;
    }
    return true;
}

} // namespace velmora::cli
