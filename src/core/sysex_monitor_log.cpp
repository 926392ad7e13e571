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

std::vector<std::uint8_t> SysexMonitorLog::Bytes() const {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    for (const auto& line : lines_) {
        if (line.starts_with("Block #")) {
            continue;
        }
        for (std::size_t at = 0; at + 1 < line.size(); at += 3) {
            const int high = digit(line[at]);
            const int low = digit(line[at + 1]);
            if (high < 0 || low < 0) {
                break;
            }
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
    }
    return bytes;
}

} // namespace velmora
