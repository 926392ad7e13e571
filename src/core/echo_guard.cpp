#include "core/echo_guard.h"

#include <algorithm>

namespace velmora {

void EchoGuard::NoteSent(ShortMessage message, std::int64_t nowMs) {
    sent_[next_] = Sent{message, nowMs, false};
    next_ = (next_ + 1) % sent_.size();
}

void EchoGuard::NoteProbeUnanswered(std::int64_t nowMs) {
    probePending_ = false;
    quietUntilMs_ = nowMs + backOffMs_;
    backOffMs_ = std::min(backOffMs_ * 2, kMostBackOffMs);
}

EchoVerdict EchoGuard::NoteReceived(ShortMessage message, std::int64_t nowMs) {
    if (probePending_ && nowMs - probeSentMs_ > kProbeAnswerMs) {
        NoteProbeUnanswered(nowMs);
    }
    if (echoes_ > 0 && nowMs - lastEchoMs_ > kChainGapMs) {
        echoes_ = 0;
        probedThisChain_ = false;
    }
    if (closeEchoes_ > 0 && nowMs - lastCloseEchoMs_ > kCloseGapMs) {
        closeEchoes_ = 0;
    }
    // The latest matching send is the one a loop brings back first.
    Sent* echo = nullptr;
    for (Sent& s : sent_) {
        if (!s.echoed && s.message == message && nowMs - s.timeMs <= kEchoWindowMs &&
            (echo == nullptr || s.timeMs > echo->timeMs)) {
            echo = &s;
        }
    }
    if (echo == nullptr) {
        return EchoVerdict::Pass;
    }
    echo->echoed = true; // one send is echoed once
    lastEchoMs_ = nowMs;
    ++echoes_;
    if (nowMs - echo->timeMs <= kCloseEchoMs) {
        lastCloseEchoMs_ = nowMs;
        ++closeEchoes_;
    }
    return echoes_ % kSuspectEchoes == 0 ? EchoVerdict::AskWayBack : EchoVerdict::Pass;
}

LoopAction EchoGuard::Decide(WayBack wayBack, std::int64_t nowMs) {
    if (wayBack == WayBack::None) {
        return LoopAction::None;
    }
    // Unknown: only echoes as close as a loop's passes count as evidence.
    const bool suspect = wayBack == WayBack::Possible || closeEchoes_ >= kSuspectEchoes;
    if (!suspect || probedThisChain_ || probePending_ || nowMs < quietUntilMs_) {
        return LoopAction::None;
    }
    probedThisChain_ = true;
    probePending_ = true;
    probeSentMs_ = nowMs;
    return LoopAction::Probe;
}

bool EchoGuard::IsProbe(std::span<const std::uint8_t> sysex) const {
    return std::equal(sysex.begin(), sysex.end(), probe_.begin(), probe_.end());
}

void EchoGuard::Clear() {
    sent_.fill(Sent{});
    next_ = 0;
    echoes_ = 0;
    closeEchoes_ = 0;
    lastEchoMs_ = 0;
    lastCloseEchoMs_ = 0;
    probedThisChain_ = false;
    probePending_ = false;
    probeSentMs_ = 0;
    quietUntilMs_ = 0;
    backOffMs_ = kFirstBackOffMs;
}

} // namespace velmora
