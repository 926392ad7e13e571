#include "core/message_filter.h"

#include <array>
#include <charconv>
#include <utility>

namespace velmora {
namespace {

constexpr std::array<std::pair<std::string_view, MessageKind>, 10> kNames{{
    {"note", kKindNote},
    {"cc", kKindCc},
    {"pc", kKindPc},
    {"pb", kKindPb},
    {"at", kKindAt},
    {"sysex", kKindSysex},
    {"clock", kKindClock},
    {"sense", kKindSense},
    {"realtime", kKindRealtime},
    {"common", kKindCommon},
}};

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

// Calls `each` on every comma-separated item; false as soon as it does.
template <typename Each> bool ForEachItem(std::string_view list, Each each) {
    while (true) {
        const auto comma = list.find(',');
        if (!each(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

bool ParseChannel(std::string_view text, int& channel) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), channel);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && channel >= 1 &&
           channel <= 16;
}

} // namespace

MessageKind KindOfStatus(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
        return kKindNote;
    case 0xA0:
    case 0xD0:
        return kKindAt;
    case 0xB0:
        return kKindCc;
    case 0xC0:
        return kKindPc;
    case 0xE0:
        return kKindPb;
    default:
        break;
    }
    if (status == 0xF0) {
        return kKindSysex;
    }
    if (status == 0xF8) {
        return kKindClock;
    }
    if (status == 0xFE) {
        return kKindSense;
    }
    return status >= 0xF8 ? kKindRealtime : kKindCommon;
}

bool ParseKinds(std::string_view list, std::uint32_t& kinds, std::string& error) {
    kinds = 0;
    return ForEachItem(list, [&](std::string_view word) {
        for (const auto& [name, kind] : kNames) {
            if (SameLetters(word, name)) {
                kinds |= kind;
                return true;
            }
        }
        error = "unknown kind of message '" + std::string(word) +
                "' (note, cc, pc, pb, at, sysex, clock, sense, realtime, common)";
        return false;
    });
}

bool ParseChannels(std::string_view list, std::uint16_t& channels, std::string& error) {
    channels = 0;
    return ForEachItem(list, [&](std::string_view item) {
        const auto dash = item.find('-');
        int first = 0, last = 0;
        const bool ok = dash == std::string_view::npos
                            ? ParseChannel(item, first) && ParseChannel(item, last)
                            : ParseChannel(item.substr(0, dash), first) &&
                                  ParseChannel(item.substr(dash + 1), last) && first <= last;
        if (!ok) {
            error = "channels are 1 to 16, as in 1,2,10-12, not '" + std::string(item) + "'";
            return false;
        }
        for (int c = first; c <= last; ++c) {
            channels = static_cast<std::uint16_t>(channels | (1u << (c - 1)));
        }
        return true;
    });
}

bool MessageFilter::Shows(std::uint8_t status) const {
    if ((kinds & KindOfStatus(status)) == 0) {
        return false;
    }
    return status >= 0xF0 || (channels & (1u << (status & 0x0F))) != 0;
}

} // namespace velmora
