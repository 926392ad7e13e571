#include "core/note_tracker.h"

namespace velmora {
namespace {

void AppendChannelOffs(std::vector<ShortMessage>& out, std::uint16_t channels) {
    for (int c = 0; c < 16; ++c) {
        if ((channels & (1u << c)) != 0) {
            out.push_back(PackShortMessage(static_cast<std::uint8_t>(0xB0 | c), 123, 0));
            out.push_back(PackShortMessage(static_cast<std::uint8_t>(0xB0 | c), 64, 0));
        }
    }
}

void AppendNoteOffs(std::vector<ShortMessage>& out, const NoteTracker& t) {
    for (int c = 0; c < 16; ++c) {
        for (int n = 0; n < 128; ++n) {
            if (t.IsOn(c, n)) {
                out.push_back(PackShortMessage(static_cast<std::uint8_t>(0x80 | c),
                                               static_cast<std::uint8_t>(n), 0));
            }
        }
    }
}

} // namespace

void NoteTracker::Feed(std::span<const std::uint8_t> message) {
    if (message.empty()) {
        return;
    }
    Feed(PackShortMessage(message[0], message.size() > 1 ? message[1] : 0,
                          message.size() > 2 ? message[2] : 0));
}

void NoteTracker::Feed(ShortMessage message) {
    const std::uint8_t status = StatusOf(message);
    if (status < 0x80 || status >= 0xF0) {
        return;
    }
    const int channel = status & 0x0F;
    channelsUsed_ = static_cast<std::uint16_t>(channelsUsed_ | (1u << channel));
    const int kind = status & 0xF0;
    const int note = Data1Of(message) & 0x7F;
    std::uint8_t& count = on_[channel][note];
    if (kind == 0x90 && (Data2Of(message) & 0x7F) != 0) {
        count = static_cast<std::uint8_t>(count < 255 ? count + 1 : count);
    } else if (kind == 0x80 || kind == 0x90) {
        count = 0;
    } else if (kind == 0xB0 && (note == 123 || note == 120)) {
        on_[channel].fill(0); // all notes (or all sound) off
    }
}

int NoteTracker::NotesOn() const {
    int n = 0;
    for (const auto& channel : on_) {
        for (const std::uint8_t count : channel) {
            n += count != 0 ? 1 : 0;
        }
    }
    return n;
}

std::vector<ShortMessage> PanicMessages(const NoteTracker* seen) {
    std::vector<ShortMessage> out;
    if (seen != nullptr) {
        AppendNoteOffs(out, *seen);
    } else {
        for (int c = 0; c < 16; ++c) {
            for (int n = 0; n < 128; ++n) {
                out.push_back(PackShortMessage(static_cast<std::uint8_t>(0x80 | c),
                                               static_cast<std::uint8_t>(n), 0));
            }
        }
    }
    AppendChannelOffs(out, 0xFFFF);
    return out;
}

std::vector<ShortMessage> StopMessages(const NoteTracker& played) {
    std::vector<ShortMessage> out;
    AppendNoteOffs(out, played);
    AppendChannelOffs(out, played.ChannelsUsed());
    return out;
}

} // namespace velmora
