// Sends a request (whole sysex messages, core/sysex_request.h) on the main
// output while a recording runs, so that the reply is recorded as usual.
// The input is left alone: the reply must get in.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/sysex_request.h"
#include "midi/midi_functions.h"

namespace velmora::sysex {

// What the user picked from the short list: for a file its path, for hex
// the text typed (UTF-8); nothing for the identity request.
struct RequestChoice {
    RequestKind kind = RequestKind::Identity;
    std::string text;
};

// The request a choice makes: a file is read whole (a regular file, at most
// kMaxRequestBytes), hex is parsed; `error` says why there is none, in
// UTF-8, naming the file.
Request RequestFor(const RequestChoice& choice);

inline constexpr const char* kNoOutputForRequest =
    "No MIDI output is open: the request was not sent. Open the main output on the Setup "
    "panel first.";
inline constexpr const char* kRequestNotTaken =
    "The MIDI output did not take the whole request: it was not sent, or only in part.";

// Empty when every byte went out; else why not (nothing is sent without an
// open output).
std::string SendRequest(midi::OutputSlot& out, std::span<const std::uint8_t> request);

} // namespace velmora::sysex
