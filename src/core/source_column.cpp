#include "core/source_column.h"

#include "core/sysex_text.h"

namespace velmora {
namespace {

// As long as the history's lines of short messages.
constexpr std::size_t kSysexLineLength = 67;

} // namespace

std::string SourceCell(std::string_view name) {
    if (name.size() <= kSourceWidth) {
        std::string cell(name);
        cell.resize(kSourceWidth, ' ');
        return cell;
    }
    constexpr std::size_t kTail = (kSourceWidth - 2) / 2;
    constexpr std::size_t kHead = kSourceWidth - 2 - kTail;
    return std::string(name.substr(0, kHead)) + ".." +
           std::string(name.substr(name.size() - kTail));
}

std::string SysexHistoryLine(std::span<const std::uint8_t> block) {
    std::string line = "Sysex, " + std::to_string(block.size()) + " bytes: ";
    const std::size_t room = kSysexLineLength > line.size() ? kSysexLineLength - line.size() : 0;
    // Whole bytes only ("F0 " each); "..." when some do not fit.
    const std::size_t fit = room / 3;
    if (block.size() <= fit) {
        line += SysexHexText(block);
    } else {
        line += SysexHexText(block.first(fit > 1 ? fit - 1 : 0)) + "...";
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

} // namespace velmora
