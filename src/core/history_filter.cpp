#include "core/history_filter.h"

namespace velmora {

std::string_view KindLabel(MessageKind kind) {
    for (const auto& k : kHistoryKinds) {
        if (k.kind == kind) {
            return k.label;
        }
    }
    return "Other";
}

bool HidesAny(const MessageFilter& filter) {
    return filter.kinds != kAllKinds || filter.channels != kAllChannels;
}

bool HidesKind(const MessageFilter& filter, MessageKind kind) {
    return (filter.kinds & kind) == 0;
}

std::string HiddenKindsText(const MessageFilter& filter) {
    std::string text;
    for (const auto& k : kHistoryKinds) {
        if (HidesKind(filter, k.kind)) {
            text += (text.empty() ? "" : ",") + std::string(k.word);
        }
    }
    return text;
}

std::string HiddenChannelsText(const MessageFilter& filter) {
    std::string text;
    for (int c = 0; c < 16; ++c) {
        if ((filter.channels & (1u << c)) == 0) {
            text += (text.empty() ? "" : ",") + std::to_string(c + 1);
        }
    }
    return text;
}

std::optional<MessageFilter> HistoryFilterFrom(std::optional<std::string_view> hiddenKinds,
                                               std::optional<std::string_view> hiddenChannels) {
    MessageFilter filter = kShowEverything;
    std::string error;
    if (hiddenKinds && !hiddenKinds->empty()) {
        std::uint32_t kinds = 0;
        if (!ParseKinds(*hiddenKinds, kinds, error)) {
            return std::nullopt;
        }
        filter.kinds = kAllKinds & ~kinds;
    }
    if (hiddenChannels && !hiddenChannels->empty()) {
        std::uint16_t channels = 0;
        if (!ParseChannels(*hiddenChannels, channels, error)) {
            return std::nullopt;
        }
        filter.channels = static_cast<std::uint16_t>(kAllChannels & ~channels);
    }
    return filter;
}

} // namespace velmora
