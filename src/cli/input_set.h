// Several MIDI inputs for the commands that take more than one -i (capture,
// monitor, loopback): the set itself is midi::InputSet; here the command
// line's side of it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi/input_set.h"

namespace velmora::cli {

// Takes every -i/--in out of `args`, in order (the option reader keeps only
// the last); the rest goes to `rest`. Sets `error` for an -i without a value.
std::vector<std::string> TakeInputs(std::span<const std::string_view> args,
                                    std::vector<std::string_view>& rest, std::string& error);

class InputSet : public midi::InputSet {
  public:
    using midi::InputSet::InputSet;

    // Opens and starts the device `name` as the next source; false, with
    // the reason on standard error after "velmora-cli COMMAND: ", when it
    // can't be opened.
    bool Add(const std::string& name, const char* command);
};

} // namespace velmora::cli
