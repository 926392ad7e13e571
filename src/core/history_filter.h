// The events history's filter, as the window keeps it: the kinds and
// channels of the message filter, everything shown by default, each kind
// with a label for menus and files, and what is hidden stored as a settings
// value in the words the command line uses ("clock,common", "10,12-16").
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/message_filter.h"

namespace velmora {

inline constexpr MessageFilter kShowEverything{kAllKinds, kAllChannels};

struct HistoryKind {
    MessageKind kind;
    std::string_view word;  // as the command line writes it
    std::string_view label; // as menus and saved files show it
};

inline constexpr std::array<HistoryKind, 10> kHistoryKinds{{
    {kKindNote, "note", "Notes"},
    {kKindCc, "cc", "Controllers"},
    {kKindPc, "pc", "Program change"},
    {kKindPb, "pb", "Pitch bend"},
    {kKindAt, "at", "Aftertouch"},
    {kKindSysex, "sysex", "Sysex"},
    {kKindClock, "clock", "Clock"},
    {kKindSense, "sense", "Active sensing"},
    {kKindRealtime, "realtime", "Other real-time"},
    {kKindCommon, "common", "System common"},
}};

std::string_view KindLabel(MessageKind kind);
bool HidesAny(const MessageFilter& filter);
bool HidesKind(const MessageFilter& filter, MessageKind kind);

// The hidden kinds ("" when none) and hidden channels ("" when none).
std::string HiddenKindsText(const MessageFilter& filter);
std::string HiddenChannelsText(const MessageFilter& filter);
// Back from those values (a missing one hides nothing); nothing when a
// value does not read.
std::optional<MessageFilter> HistoryFilterFrom(std::optional<std::string_view> hiddenKinds,
                                               std::optional<std::string_view> hiddenChannels);

} // namespace velmora
