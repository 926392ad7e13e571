// The text of the sysex monitor: three lines per listed block (its header,
// its bytes in hexadecimal, an empty line), each ending in CR LF. After each
// block the oldest whole lines are dropped until the text is below 65535
// characters, so a long dump keeps the text bounded, and each update says
// what changed so a text box can follow it without being rewritten.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class SysexMonitorLog {
  public:
    static constexpr std::size_t kLimit = 65535;

    struct Update {
        std::size_t droppedLines = 0;     // oldest lines removed, counted before the new ones
        std::array<std::string, 3> added; // the new lines, without their CR LF
    };

    // Lists a block: `hexText` is its bytes as "F0 7E ... F7 ".
    Update AddBlock(std::string_view hexText);
    void Clear();

    int BlockCount() const { return blockCount_; }
    std::size_t Size() const { return size_; } // characters, CR LF included
    std::size_t LineCount() const { return lines_.size(); }
    std::string Text() const; // the whole text, lines joined with CR LF
    // The bytes of the blocks still listed, in order (the bytes lines read
    // back; headers and empty lines skipped).
    std::vector<std::uint8_t> Bytes() const;

  private:
    std::deque<std::string> lines_; // without CR LF
    std::size_t size_ = 0;
    int blockCount_ = 0;
};

} // namespace velmora
