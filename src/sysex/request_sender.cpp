#include "sysex/request_sender.h"

#include "sysex/sysex_sender.h"

namespace velmora::sysex {

std::string SendRequest(midi::OutputSlot& out, std::span<const std::uint8_t> request) {
    if (!out.IsOpen()) {
        return kNoOutputForRequest;
    }
    // A request is short and has no pauses: it goes out in one go.
    SysexSender sender(out, std::vector<std::uint8_t>(request.begin(), request.end()), {});
    while (!sender.Finished()) {
        sender.Step();
    }
    return sender.State() == SendState::Completed ? std::string() : kRequestNotTaken;
}

} // namespace velmora::sysex
