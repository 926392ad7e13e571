// Feeds arbitrary message streams through the stateful details decoder: short
// messages with running times that jump, stop and go backwards, whole and cut
// sysex messages. Every text must fit on one line of a terminal: no control
// bytes, bounded length.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "core/hex_message_parser.h"
#include "core/message_details.h"

using namespace velmora;

namespace {

void CheckLine(const std::string& text) {
    if (text.size() > 400) {
        std::abort();
    }
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MessageDetails details;
    std::int64_t time = 0;
    bool timed = true;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t status = data[i++];
        if (status == 0xF0) { // a sysex message up to its F7, or cut at the end
            std::size_t end = i;
            while (end < size && data[end] != 0xF7) {
                ++end;
            }
            end = end < size ? end + 1 : end;
            CheckLine(details.Sysex(std::span(data + i - 1, end - i + 1)));
            i = end;
            continue;
        }
        const std::uint8_t data1 = i < size ? data[i++] : 0;
        const std::uint8_t data2 = i < size ? data[i++] : 0;
        if (status == 0xF9) { // undefined: steer the clock instead
            time -= std::int64_t{data1} << (data2 & 31);
            timed = (data2 & 0x40) == 0;
            continue;
        }
        time += std::int64_t{data1} * 997;
        CheckLine(details.Short(PackShortMessage(status, data1, data2),
                                timed ? time : MessageDetails::kNoTime));
        CheckLine(details.Rates(time));
    }
    CheckLine(QuoteStart(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
