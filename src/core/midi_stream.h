// Cuts a run of MIDI bytes into the messages MIDI's rules make of it. An
// input may hand over several messages as one: RtMidi's JACK input, while it
// gathers a long sysex message, appends whatever other sources play in the
// meantime. So:
//   - a real-time byte (F8 to FF) is a message of its own, wherever it is,
//     and is taken out of a sysex message around it;
//   - any other status byte ends a sysex message, which is then cut off
//     without its F7;
//   - data bytes that follow no status byte, a stray F7 and a short message
//     cut off by another status are dropped, one count per dropped run.
// Plain code over a buffer it may rewrite in place: it never allocates, so
// it can run on a real-time thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/short_message.h"

namespace velmora {

// `emit(std::span<const std::uint8_t>)` gets each message in order of its
// first byte. Returns the number of dropped runs.
template <typename Emit> std::size_t SplitMidiBytes(std::span<std::uint8_t> bytes, Emit&& emit) {
    constexpr std::uint8_t kStart = 0xF0, kEnd = 0xF7, kRealTime = 0xF8;
    std::size_t dropped = 0;
    bool dropping = false; // within a dropped run
    bool inSysex = false;
    std::size_t start = 0, write = 0; // the sysex message being gathered: [start, write)
    auto drop = [&] {
        dropped += dropping ? 0 : 1;
        dropping = true;
    };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t b = bytes[i];
        if (b >= kRealTime) {
            emit(bytes.subspan(i, 1));
            ++i;
            continue;
        }
        if (inSysex) {
            if (b < 0x80 || b == kEnd) {
                bytes[write++] = b;
                ++i;
                if (b == kEnd) {
                    emit(bytes.subspan(start, write - start));
                    inSysex = false;
                }
                continue;
            }
            emit(bytes.subspan(start, write - start)); // cut off by a status byte
            inSysex = false;
        }
        if (b == kStart) {
            inSysex = true;
            dropping = false;
            start = i;
            write = i + 1;
            ++i;
            continue;
        }
        if (b < 0x80 || b == kEnd) {
            drop();
            ++i;
            continue;
        }
        dropping = false;
        const auto length = static_cast<std::size_t>(ShortMessageBytes(b));
        std::size_t end = i + 1;
        while (end < bytes.size() && end < i + length && bytes[end] < 0x80) {
            ++end;
        }
        if (end - i == length) {
            emit(bytes.subspan(i, length));
        } else {
            drop(); // its data bytes are missing
        }
        i = end;
    }
    if (inSysex) {
        emit(bytes.subspan(start, write - start)); // still open at the end
    }
    return dropped;
}

} // namespace velmora
