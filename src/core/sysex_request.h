// Request and reply: a technician sends a device a request (its identity, a
// dump) and records what it answers. Which bytes make a request, and when
// the answer is complete, as plain functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The universal identity request to all devices.
inline constexpr std::array<std::uint8_t, 6> kIdentityRequest = {0xF0, 0x7E, 0x7F,
                                                                 0x06, 0x01, 0xF7};

// A request is short; anything longer is a dump to send, not a request.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;

// The short list of requests the record window offers, in its order.
enum class RequestKind { Identity, File, Hex };
struct RequestEntry {
    RequestKind kind;
    const char* label;
};
inline constexpr std::array<RequestEntry, 3> kRequestList = {{
    {RequestKind::Identity, "Identity request (F0 7E 7F 06 01 F7)"},
    {RequestKind::File, "From a .syx file..."},
    {RequestKind::Hex, "Typed in hexadecimal..."},
}};

struct Request {
    bool ok = false;
    std::vector<std::uint8_t> bytes; // one or more whole sysex messages, when ok
    std::string error;               // why these bytes are no request, when !ok
};

// Why `bytes` are no request: a request is one or more whole sysex messages
// (F0, data bytes, F7), 1 to kMaxRequestBytes long. Empty when they are one.
std::string RequestProblem(std::span<const std::uint8_t> bytes);

// Hexadecimal bytes typed by the user ("F0 7E 7F 06 01 F7").
Request RequestFromHex(std::string_view text);
// The bytes of a .syx file.
Request RequestFromBytes(std::vector<std::uint8_t> bytes);

// Where the recording of a reply stands.
enum class ReplyState {
    Waiting,  // nothing yet, or the reply is still coming
    Complete, // the reply came and the line has been idle since
    NoReply,  // nothing came within the timeout
};

// `bytesRecorded`: what the recording holds; `idleAfterReply`: the
// recording's own rule says the transfer has ended (something came, then
// nothing for its idle time); `msSinceRequest` against `timeoutMs`, which
// only ends a wait that got nothing at all: a reply on its way is waited for.
ReplyState JudgeReply(std::size_t bytesRecorded, bool idleAfterReply, std::int64_t msSinceRequest,
                      std::int64_t timeoutMs);

} // namespace velmora
