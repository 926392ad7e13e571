#include "sysex/request_sender.h"

#include "core/sysex_file_io.h"
#include "core/user_language.h"
#include "sysex/sysex_sender.h"

namespace velmora::sysex {

Request RequestFor(const RequestChoice& choice) {
    switch (choice.kind) {
    case RequestKind::Identity:
        return RequestFromBytes({kIdentityRequest.begin(), kIdentityRequest.end()});
    case RequestKind::Hex:
        return RequestFromHex(choice.text);
    case RequestKind::File:
        break;
    }
    LoadedFile file = LoadSysexFile(choice.text);
    if (!file.outcome) {
        return {false, {}, choice.text + ": " + FileOutcomeText(file.outcome, UserLanguage())};
    }
    Request request = RequestFromBytes(std::move(file.bytes));
    if (!request.ok) {
        request.error = choice.text + ": " + request.error;
    }
    return request;
}

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
