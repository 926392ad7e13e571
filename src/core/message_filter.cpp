#include "core/message_filter.h"

#include <string>

namespace velmora {

MessageKind KindOf(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
        return MessageKind::Notes;
    case 0xA0:
    case 0xD0:
        return MessageKind::Aftertouch;
    case 0xB0:
        return MessageKind::Controllers;
    case 0xC0:
        return MessageKind::ProgramChange;
    case 0xE0:
        return MessageKind::PitchBend;
    default:
        break;
    }
    switch (status) {
    case 0xF0:
    case 0xF7:
        return MessageKind::Sysex;
    case 0xF8:
        return MessageKind::Clock;
    case 0xFE:
        return MessageKind::ActiveSensing;
    default:
        return MessageKind::OtherSystem;
    }
}

std::string_view KindName(MessageKind kind) {
    static constexpr std::array<std::string_view, kMessageKindCount> names{
        "Notes", "Controllers", "Program change", "Pitch bend",  "Aftertouch",
        "Sysex", "Clock",       "Active sensing", "Other system"};
    return names[static_cast<std::size_t>(kind)];
}

bool MessageFilter::Shows(std::uint8_t status) const {
    if (hiddenKind[static_cast<std::size_t>(KindOf(status))]) {
        return false;
    }
    return status < 0x80 || status >= 0xF0 || !hiddenChannel[status & 0x0F];
}

bool MessageFilter::HidesAny() const {
    for (bool h : hiddenKind) {
        if (h) {
            return true;
        }
    }
    for (bool h : hiddenChannel) {
        if (h) {
            return true;
        }
    }
    return false;
}

std::string MessageFilter::Encode() const {
    std::string text = "k";
    for (bool h : hiddenKind) {
        text += h ? '1' : '0';
    }
    text += 'c';
    for (bool h : hiddenChannel) {
        text += h ? '1' : '0';
    }
    return text;
}

MessageFilter MessageFilter::Decode(std::string_view text) {
    MessageFilter f;
    if (text.size() != 1 + kMessageKindCount + 1 + 16 || text[0] != 'k' ||
        text[1 + kMessageKindCount] != 'c') {
        return {};
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 0 && i != 1 + kMessageKindCount && text[i] != '0' && text[i] != '1') {
            return {};
        }
    }
    for (std::size_t i = 0; i < kMessageKindCount; ++i) {
        f.hiddenKind[i] = text[1 + i] == '1';
    }
    for (std::size_t i = 0; i < 16; ++i) {
        f.hiddenChannel[i] = text[2 + kMessageKindCount + i] == '1';
    }
    return f;
}

} // namespace velmora
