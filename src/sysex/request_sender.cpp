#include "sysex/request_sender.h"

#include "core/cp1252.h"
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
    FileContents file = LoadSysexFile(choice.text);
    if (!file.result) {
        return {false,
                {},
                choice.text + ": " +
                    Cp1252ToUtf8(FileFaultText(file.result, UserLanguage(), FileTask::SysexLoad))};
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
