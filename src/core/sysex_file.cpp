#include "core/sysex_file.h"

#include <algorithm>

namespace velmora {

SysexSendPlan CutSysexFile(std::span<const std::uint8_t> file) {
    SysexSendPlan plan;
    plan.gaugeMaximum = file.size();
    // "The rest still holds an F0" is "the rest starts at or before the last
    // F0": found once, so the cut stays linear however the file looks.
    const auto lastStart = std::find(file.rbegin(), file.rend(), kSysexStart);
    if (lastStart == file.rend()) {
        return plan;
    }
    const std::size_t lastStartAt = file.size() - 1 - (lastStart - file.rbegin());

    std::size_t start = 0;
    while (start <= lastStartAt) {
        const auto endIt =
            std::find(file.begin() + static_cast<std::ptrdiff_t>(start), file.end(), kSysexEnd);
        const bool hasEnd = endIt != file.end();
        const std::size_t end =
            hasEnd ? static_cast<std::size_t>(endIt - file.begin()) + 1 : file.size();
        ++plan.messages;
        for (std::size_t at = start; at < end; at += kSysexBlockBytes) {
            SysexBlock block;
            block.offset = at;
            block.length = std::min(kSysexBlockBytes, end - at);
            block.startsMessage = at == start;
            block.endsMessage = at + block.length == end;
            plan.bytesToSend += block.length;
            block.number = static_cast<int>(plan.blocks.size()) + 1;
            block.progress = plan.bytesToSend;
            plan.blocks.push_back(block);
        }
        if (!hasEnd) {
            plan.truncatedLastMessage = true;
            break;
        }
        start = end;
    }
    return plan;
}

} // namespace velmora
