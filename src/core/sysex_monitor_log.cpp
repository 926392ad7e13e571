#include "core/sysex_monitor_log.h"

#include "core/sysex_text.h"

namespace velmora {

SysexMonitorLog::Update SysexMonitorLog::AddBlock(std::string_view hexText) {
    ++blockCount_;
    Update u;
    u.added = {SysexBlockHeader(blockCount_, hexText.size() / 3), std::string(hexText), {}};
    for (const auto& line : u.added) {
        lines_.push_back(line);
        size_ += line.size() + 2;
    }
    while (size_ >= kLimit && !lines_.empty()) {
        size_ -= lines_.front().size() + 2;
        lines_.pop_front();
        ++u.droppedLines;
    }
    return u;
}

void SysexMonitorLog::Clear() {
    lines_.clear();
    size_ = 0;
    blockCount_ = 0;
}

std::string SysexMonitorLog::Text() const {
    std::string text;
    text.reserve(size_);
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace velmora
