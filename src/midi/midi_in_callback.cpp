#include "midi/midi_in_callback.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/router_transform.h"

namespace velmora::midi {

ShortMessage ThruMessage(ShortMessage message, int thruChannelIndex) {
    const std::uint8_t status = StatusOf(message);
    if (status < 0xF0 && thruChannelIndex >= 1 && thruChannelIndex <= 16) {
        const auto channel = static_cast<ShortMessage>(thruChannelIndex - 1);
        return (message & ~ShortMessage{0x0F}) | channel;
    }
    return message;
}

std::string SysexHexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(bytes.size() * 3, ' ');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[3 * i] = kDigits[bytes[i] >> 4];
        text[3 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

MidiInCallback::MidiInCallback(MidiFunctions& midi, MainWindowTags& tags, RouterSettings& router,
                               HandOff& mainSignal)
    : midi_(midi), tags_(tags), router_(router), mainSignal_(mainSignal) {}

void MidiInCallback::operator()(const InputEvent& event) {
    if (!midi_.InputActive.load()) {
        if (event.code == InputMessage::LongData && event.header &&
            event.header->dwBytesRecorded > 0) {
            HandBack(*event.header);
        }
        return;
    }
    if (event.code == InputMessage::Data) {
        const ShortMessage message = event.message;
        midi_.LastShortMessage.store(message);
        if (message == kTimingClock) {
            return;
        }
        const int mode = midi_.InputMode.load();
        if (mode == kMonitor) {
            ShortMonitor(message);
        } else if (mode == kMultiOut) {
            ShortMultiOut(message);
        }
        return;
    }
    if (event.code == InputMessage::LongData && event.header) {
        LongData(*event.header);
    }
}

void MidiInCallback::ShortMonitor(ShortMessage message) {
    if (tags_.ImgOutOpen.load() == 1 && tags_.ImgThru.load() == 1) {
        midi_.MidiOutHandle().SendShort(ThruMessage(message, tags_.cmbMidiThru.load()));
    }
    mainSignal_.Raise('2');
}

void MidiInCallback::ShortMultiOut(ShortMessage message) {
    if (message == kActiveSensing) {
        return;
    }
    tags_.ImgLedData.store(midi_.ElapsedMs());
    std::lock_guard lock(router_.routing);
    for (int k = 1; k <= 4; ++k) {
        const RouterOutputSettings& out = router_.outputs[static_cast<std::size_t>(k - 1)];
        const int port = out.portNumber.load();
        if (port < 1 || port > k) {
            continue;
        }
        const int transpose = out.transposeIndex.load();
        if (transpose < 0 || transpose > 48) {
            continue; // no selection in the list
        }
        const ShortMessage routed =
            RouterTransform(message, out.channelIndex.load(), transpose - 24,
                            out.splitLowIndex.load(), out.splitHighIndex.load());
        if (routed != 0) {
            midi_.RouterOutHandle(port).SendShort(routed);
        }
    }
}

void MidiInCallback::LongData(MidiHeader& header) {
    const std::uint32_t n = std::min(header.dwBytesRecorded, header.dwBufferLength);
    if (n == 0) {
        return; // returned empty by a reset: not handed back
    }
    std::array<std::uint8_t, kInputBufferSize> local{};
    const std::uint32_t kept = std::min<std::uint32_t>(n, kInputBufferSize);
    std::memcpy(local.data(), header.lpData, kept);
    const std::span<const std::uint8_t> bytes(local.data(), kept);

    const int mode = midi_.InputMode.load();
    if (mode == kMonitor) {
        midi_.PendingSysexText = SysexHexText(bytes);
        HandBack(header);
        mainSignal_.Raise('1');
    } else if (mode == kRecord) {
        {
            std::lock_guard lock(midi_.sysex.lock);
            auto& store = midi_.sysex;
            ++store.RecordBlockCount;
            store.SysexBuffer.insert(store.SysexBuffer.end(), bytes.begin(), bytes.end());
            char status[96];
            std::snprintf(status, sizeof status, "%d blocks received - %zu Bytes received",
                          store.RecordBlockCount, store.SysexBuffer.size());
            store.statusText = status;
        }
        HandBack(header);
        if (HandOff* record = recordSignal_.load()) {
            record->Raise('1');
        }
    } else {
        HandBack(header);
    }
}

void MidiInCallback::HandBack(MidiHeader& header) {
    MidiInPort* port = midi_.MidiInHandle();
    if (port == nullptr) {
        return;
    }
    if (!port->UnprepareHeader(header)) {
        midi_.reporter().Report(text::kUnprepare);
    }
    if (!port->PrepareHeader(header)) {
        midi_.reporter().Report(text::kPrepare);
    }
    if (!port->AddBuffer(header)) {
        midi_.reporter().Report(text::kAdd);
    }
}

} // namespace velmora::midi
