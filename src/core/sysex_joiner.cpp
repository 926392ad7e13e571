#include "core/sysex_joiner.h"

#include <algorithm>

namespace velmora {

SysexJoiner::SysexJoiner(std::size_t maxBytes)
    : bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(maxBytes, 2))),
      capacity_(std::max<std::size_t>(maxBytes, 2)) {}

std::size_t SysexJoiner::Abandon() {
    const bool open = state_ == State::Joining;
    // What still comes of the message is a run of stray bytes, already lost.
    strayRun_ = strayRun_ || state_ != State::Idle;
    state_ = State::Idle;
    length_ = 0;
    return open ? 1 : 0;
}

} // namespace velmora
