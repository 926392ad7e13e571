#include "midi/midi_in_callback.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/router_transform.h"

namespace velmora::midi {

static_assert(kInputBufferSize <= kHandedSysexBytes, "a block is handed whole");

MidiInCallback::MidiInCallback(MidiFunctions& midi, InputPathState& path, RouterSettings& router,
                               HandOff& mainSignal)
    : midi_(midi), path_(path), router_(router), mainSignal_(mainSignal) {
    midi_.SetThruSwitches(&path_);
}

MidiInCallback::~MidiInCallback() {
    midi_.SetThruSwitches(nullptr);
}

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
            path_.lastClockMs.store(midi_.ElapsedMs(), std::memory_order_relaxed);
            path_.clocksReceived.fetch_add(1, std::memory_order_release);
            if (path_.handClocks.load(std::memory_order_relaxed) &&
                midi_.InputMode.load() == kMonitor) {
                mainSignal_.Raise(Handed{HandedKind::Clock, message, {}, event.micros});
            }
            return;
        }
        const int mode = midi_.InputMode.load();
        if (mode == kMonitor) {
            ShortMonitor(message, event.micros, event.passedThru);
        } else if (mode == kMultiOut) {
            ShortMultiOut(message);
        }
        return;
    }
    if (event.code == InputMessage::LongData && event.header) {
        LongData(*event.header, event.micros);
    }
}

// Thru the service passed in its own cycle is not sent again, but counted as
// sent all the same, also when thru went off since.
void MidiInCallback::ShortMonitor(ShortMessage message, std::uint64_t micros,
                                  ShortMessage passedInCycle) {
    const bool thruOn = path_.mainOutOpen.load() == 1 && path_.thruOn.load() == 1;
    if (thruOn || passedInCycle != 0) {
        const std::int64_t now = ThruGuardTime(micros);
        const LoopAction action = thruOn ? ThruLoopCheck(message, now) : LoopAction::None;
        ShortMessage passed = passedInCycle;
        if (passed == 0) {
            passed = ThruMessage(message, path_.thruChannel.load());
            midi_.MidiOutHandle().SendShort(passed);
        }
        thruEchoes_.NoteSent(passed, now);
        if (action == LoopAction::Probe) {
            midi_.MidiOutHandle().SendLong(thruEchoes_.ProbeMessage());
        }
    }
    mainSignal_.Raise(Handed{HandedKind::Short, message, {}, micros});
}

// The thru guard's clock: when the service received the message (thru that
// its cycle passed on went out then too), not when this thread came to it,
// which a busy hand-off delays; an arrival more than a second ago, or not
// known, counts as now. Never earlier than a time the guard was given.
std::int64_t MidiInCallback::ThruGuardTime(std::uint64_t micros) {
    constexpr std::uint64_t kMostDelayMicros = 1'000'000;
    std::int64_t at = midi_.ElapsedMs();
    const std::uint64_t nowMicros = InputClockMicros();
    if (micros != 0 && micros <= nowMicros && nowMicros - micros <= kMostDelayMicros) {
        at -= static_cast<std::int64_t>((nowMicros - micros) / 1000);
    }
    thruGuardMs_ = std::max(thruGuardMs_, at);
    return thruGuardMs_;
}

LoopAction MidiInCallback::ThruLoopCheck(ShortMessage received, std::int64_t now) {
    if (!path_.loopGuardOn.load() ||
        thruEchoes_.NoteReceived(received, now) != EchoVerdict::AskWayBack) {
        return LoopAction::None;
    }
    return thruEchoes_.Decide(midi_.WayBackFrom(midi_.MidiOutHandle()), now);
}

// The router's outputs share one guard: the way back is the likeliest of
// theirs, and a probe goes only to outputs with one.
LoopAction MidiInCallback::RouterLoopCheck(ShortMessage received, std::int64_t now) {
    routerWayBack_.fill(WayBack::None);
    if (!path_.loopGuardOn.load() ||
        routerEchoes_.NoteReceived(received, now) != EchoVerdict::AskWayBack) {
        return LoopAction::None;
    }
    WayBack likeliest = WayBack::None;
    for (int k = 1; k <= 4; ++k) {
        const WayBack way = midi_.WayBackFrom(midi_.RouterOutHandle(k));
        routerWayBack_[static_cast<std::size_t>(k - 1)] = way;
        if (way == WayBack::Possible || (way == WayBack::Unknown && likeliest == WayBack::None)) {
            likeliest = way;
        }
    }
    return routerEchoes_.Decide(likeliest, now);
}

void MidiInCallback::BreakThru() {
    path_.thruOn.store(0);
    path_.thruLoopBroken.store(true);
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
    const LoopAction action = RouterLoopCheck(message, now);
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
    if (action == LoopAction::Probe) {
        for (int k = 1; k <= 4; ++k) {
            if (routerWayBack_[static_cast<std::size_t>(k - 1)] != WayBack::None) {
                midi_.RouterOutHandle(k).SendLong(routerEchoes_.ProbeMessage());
            }
        }
    }
}

// A probe of the loop test that came back: the path it went out on is a
// loop, switched off here. The probe itself is nobody's data.
bool MidiInCallback::ProbeCameBack(std::span<const std::uint8_t> bytes) {
    if (!path_.loopGuardOn.load()) {
        return false; // nothing was probed: shown as any sysex
    }
    if (thruEchoes_.IsProbe(bytes)) {
        BreakThru();
        return true;
    }
    if (routerEchoes_.IsProbe(bytes)) {
        router_.loopBroken.store(true);
        return true;
    }
    return false;
}

void MidiInCallback::LongData(MidiHeader& header, std::uint64_t micros) {
    const std::uint32_t n = std::min(header.dwBytesRecorded, header.dwBufferLength);
    if (n == 0) {
        return; // returned empty by a reset: not handed back
    }
    std::array<std::uint8_t, kInputBufferSize> local{};
    const std::uint32_t kept = std::min<std::uint32_t>(n, kInputBufferSize);
    std::memcpy(local.data(), header.lpData, kept);
    const std::span<const std::uint8_t> bytes(local.data(), kept);
    if (ProbeCameBack(bytes)) {
        HandBack(header);
        return;
    }

    const int mode = midi_.InputMode.load();
    if (mode == kMonitor) {
        HandBack(header);
        mainSignal_.Raise(Handed{HandedKind::Sysex, 0, bytes, micros});
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
            record->Raise(Handed{HandedKind::Sysex, 0, {}});
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
