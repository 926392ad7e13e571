#include "core/sysex_request.h"

#include <cstdio>

#include "core/hex_message_parser.h"

namespace velmora {
namespace {

std::string Hex(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

Request Checked(std::vector<std::uint8_t> bytes) {
    Request request;
    request.error = RequestProblem(bytes);
    request.ok = request.error.empty();
    if (request.ok) {
        request.bytes = std::move(bytes);
    }
    return request;
}

} // namespace

std::string RequestProblem(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return "the request is empty";
    }
    if (bytes.size() > kMaxRequestBytes) {
        return "the request is longer than " + std::to_string(kMaxRequestBytes) +
               " bytes; send a dump with Send Sysex";
    }
    bool inMessage = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        const std::string at = "byte " + std::to_string(i + 1) + " (" + Hex(b) + ")";
        if (!inMessage) {
            if (b != 0xF0) {
                return at + " does not start a sysex message: a request is one or more sysex "
                            "messages, F0 ... F7";
            }
            inMessage = true;
        } else if (b == 0xF7) {
            inMessage = false;
        } else if (b >= 0x80) {
            return at + " is a status byte inside a sysex message: a message must end with "
                        "F7 first";
        }
    }
    if (inMessage) {
        return "the last sysex message has no end (F7)";
    }
    return {};
}

Request RequestFromHex(std::string_view text) {
    const ParsedBytes parsed = ParseHexBytes(text, kMaxRequestBytes);
    if (!parsed.ok) {
        return {false, {}, parsed.error};
    }
    return Checked(parsed.bytes);
}

Request RequestFromBytes(std::vector<std::uint8_t> bytes) {
    return Checked(std::move(bytes));
}

ReplyState JudgeReply(std::size_t bytesRecorded, bool idleAfterReply, std::int64_t msSinceRequest,
                      std::int64_t timeoutMs) {
    if (bytesRecorded > 0) {
        return idleAfterReply ? ReplyState::Complete : ReplyState::Waiting;
    }
    return msSinceRequest >= timeoutMs ? ReplyState::NoReply : ReplyState::Waiting;
}

} // namespace velmora
