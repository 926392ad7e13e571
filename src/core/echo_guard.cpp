#include "core/echo_guard.h"

namespace velmora {

void EchoGuard::NoteSent(ShortMessage message, std::int64_t nowMs) {
    sent_[next_] = Sent{message, nowMs, false};
    next_ = (next_ + 1) % sent_.size();
}

EchoVerdict EchoGuard::NoteReceived(ShortMessage message, std::int64_t nowMs) {
    if (Probing()) {
        if (ProbeExpired(probeAtMs_, nowMs)) {
            Clear();
            return EchoVerdict::Loop;
        }
        if (message == probe_) {
            Clear(); // repeated by its source: playing, not a loop
            return EchoVerdict::Pass;
        }
    }
    if (echoes_ > 0 && nowMs - lastEchoMs_ > kChainGapMs) {
        echoes_ = 0;
    }
    for (Sent& s : sent_) {
        if (!s.echoed && s.message == message && nowMs - s.timeMs <= kEchoWindowMs) {
            s.echoed = true; // one send is echoed once
            lastEchoMs_ = nowMs;
            if (++echoes_ >= kSuspectEchoes && !Probing()) {
                probe_ = message;
                probeAtMs_ = nowMs;
                return EchoVerdict::Withhold;
            }
            break;
        }
    }
    return EchoVerdict::Pass;
}

void EchoGuard::Clear() {
    sent_.fill(Sent{});
    next_ = 0;
    echoes_ = 0;
    lastEchoMs_ = 0;
    probeAtMs_ = -1;
}

} // namespace velmora
