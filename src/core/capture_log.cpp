#include "core/capture_log.h"

#include <algorithm>

namespace velmora {
namespace {

// What one held event costs beside its bytes: its entry and the heap's
// share of its own small allocation.
constexpr std::size_t kEventCost = sizeof(CapturedMessage) + 16;

} // namespace

CaptureLog::CaptureLog(std::size_t sources, bool realTime, std::size_t limitBytes)
    : realTime_(realTime), limitBytes_(limitBytes), open_(std::max<std::size_t>(sources, 1)) {}

bool CaptureLog::Take(std::size_t bytes) {
    if (refused_ > 0 || bytes > limitBytes_ - heldBytes_) {
        ++refused_; // once full, full: a capture keeps no later event than one it left out
        return false;
    }
    heldBytes_ += bytes;
    return true;
}

void CaptureLog::AddShort(std::size_t source, std::uint64_t micros, ShortMessage message) {
    const std::uint8_t status = StatusOf(message);
    if (status >= 0xF8 && !realTime_) {
        return;
    }
    if (!Take(kEventCost)) {
        return;
    }
    std::vector<std::uint8_t> bytes = {status, Data1Of(message), Data2Of(message)};
    bytes.resize(static_cast<std::size_t>(std::max(ShortMessageBytes(status), 1)));
    messages_.push_back({source, micros, std::move(bytes)});
}

void CaptureLog::AddSysexBlock(std::size_t source, std::uint64_t micros,
                               std::span<const std::uint8_t> block) {
    if (block.empty() || source >= open_.size()) {
        return;
    }
    OpenSysex& open = open_[source];
    // A message is held as its first block arrives, so one that never ends
    // is bounded too.
    const std::size_t cost =
        block.size() + (block.front() == 0xF0 || open.bytes.empty() ? kEventCost : 0);
    if (!Take(cost)) {
        return;
    }
    if (block.front() == 0xF0) {
        Flush(source); // a message cut short by the next one
        open.micros = micros;
    } else if (open.bytes.empty()) {
        open.micros = micros; // a continuation whose start was not seen
    }
    open.bytes.insert(open.bytes.end(), block.begin(), block.end());
    if (block.back() == 0xF7) {
        Flush(source);
    }
}

void CaptureLog::FlushSysex() {
    for (std::size_t s = 0; s < open_.size(); ++s) {
        Flush(s);
    }
}

void CaptureLog::Flush(std::size_t source) {
    OpenSysex& open = open_[source];
    if (!open.bytes.empty()) {
        messages_.push_back({source, open.micros, std::move(open.bytes)});
        open.bytes.clear();
    }
}

std::vector<CapturedMessage> CaptureLog::Messages() const {
    std::vector<CapturedMessage> messages = messages_;
    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.microseconds < b.microseconds; });
    return messages;
}

std::vector<std::uint8_t> CaptureFileBytes(const CaptureLog& log,
                                           std::span<const std::string> sourceNames) {
    const std::vector<CapturedMessage> messages = log.Messages();
    return WriteMidiFile(CaptureAsMidiFile(messages, sourceNames));
}

} // namespace velmora
