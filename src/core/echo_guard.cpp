#include "core/echo_guard.h"

#include <algorithm>

namespace velmora {

void EchoGuard::NoteSent(ShortMessage message, std::int64_t nowMs) {
    sent_[next_] = Sent{message, nowMs, false};
    next_ = (next_ + 1) % sent_.size();
}

EchoVerdict EchoGuard::NoteReceived(ShortMessage message, std::int64_t nowMs) {
    if (echoes_ > 0 && nowMs - lastEchoMs_ > kChainGapMs) {
        echoes_ = 0;
    }
    for (Sent& s : sent_) {
        if (!s.echoed && s.message == message && nowMs - s.timeMs <= kEchoWindowMs) {
            s.echoed = true; // one send is echoed once
            lastEchoMs_ = nowMs;
            if (++echoes_ >= kSuspectEchoes && nowMs >= quietUntilMs_) {
                echoes_ = 0;
                quietUntilMs_ = nowMs + kProbeQuietMs;
                return EchoVerdict::Probe;
            }
            break;
        }
    }
    return EchoVerdict::Pass;
}

bool EchoGuard::IsProbe(std::span<const std::uint8_t> sysex) const {
    return std::equal(sysex.begin(), sysex.end(), probe_.begin(), probe_.end());
}

void EchoGuard::Clear() {
    sent_.fill(Sent{});
    next_ = 0;
    echoes_ = 0;
    lastEchoMs_ = 0;
    quietUntilMs_ = 0;
}

} // namespace velmora
