#include "midi/midi_in_callback.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/router_transform.h"
#include "core/sysex_text.h"

namespace velmora::midi {

MidiInCallback::MidiInCallback(MidiFunctions& midi, InputPathState& path, RouterSettings& router,
                               HandOff& mainSignal)
    : midi_(midi), path_(path), router_(router), mainSignal_(mainSignal) {}

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
    if (path_.mainOutOpen.load() == 1 && path_.thruOn.load() == 1) {
        const std::int64_t now = midi_.ElapsedMs();
        switch (thruEchoes_.NoteReceived(message, now)) {
        case EchoVerdict::Loop:
            TripLoop(path_.thruProbeAtMs, [this] {
                path_.thruOn.store(0);
                path_.thruLoopBroken.store(true);
            });
            break;
        case EchoVerdict::Withhold:
            path_.thruProbeAtMs.store(now);
            break;
        case EchoVerdict::Pass: {
            if (!thruEchoes_.Probing()) {
                path_.thruProbeAtMs.store(-1);
            }
            const ShortMessage passed = ThruMessage(message, path_.thruChannel.load());
            midi_.MidiOutHandle().SendShort(passed);
            thruEchoes_.NoteSent(passed, now);
            break;
        }
        }
    }
    mainSignal_.Raise('2');
}

void MidiInCallback::ShortMultiOut(ShortMessage message) {
    if (message == kActiveSensing) {
        return;
    }
    const std::int32_t now = midi_.ElapsedMs();
    path_.dataLedStamp.store(now);
    if (router_.loopBroken.load()) {
        return;
    }
    switch (routerEchoes_.NoteReceived(message, now)) {
    case EchoVerdict::Loop:
        TripLoop(router_.probeAtMs, [this] { router_.loopBroken.store(true); });
        return;
    case EchoVerdict::Withhold:
        router_.probeAtMs.store(now);
        return;
    case EchoVerdict::Pass:
        if (!routerEchoes_.Probing()) {
            router_.probeAtMs.store(-1);
        }
        break;
    }
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
            routerEchoes_.NoteSent(routed, now);
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

bool ExpireEchoProbe(std::atomic<std::int64_t>& probeAtMs, std::int64_t nowMs) {
    std::int64_t since = probeAtMs.load();
    return EchoGuard::ProbeExpired(since, nowMs) && probeAtMs.compare_exchange_strong(since, -1);
}

} // namespace velmora::midi
