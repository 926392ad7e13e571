#include "core/jump_guard.h"

namespace velmora {
namespace {

// Whether less than `spanMs` has passed since `at`. A clock that went back
// (it wraps after weeks) ends the span rather than holding jumps for good.
bool Within(const std::optional<std::int32_t>& at, std::int32_t nowMs, std::int32_t spanMs) {
    if (!at) {
        return false;
    }
    const std::int64_t since = std::int64_t{nowMs} - *at;
    return since >= 0 && since < spanMs;
}

} // namespace

void NoteUserChoice(JumpGuard& guard, std::int32_t nowMs) {
    guard.userChoseAt = nowMs;
}

void NoteSysexBlock(JumpGuard& guard, std::int32_t nowMs) {
    if (!Within(guard.lastBlockAt, nowMs, JumpGuard::kSysexHoldMs)) {
        guard.dumpStartedAt = nowMs;
    }
    guard.lastBlockAt = nowMs;
}

bool JumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen) {
    return !listOpen && !Within(guard.userChoseAt, nowMs, JumpGuard::kQuietMs);
}

bool SysexJumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen) {
    if (listOpen) {
        return false;
    }
    // A choice made before the dump began does not hide the dump.
    const bool choseDuringDump =
        guard.userChoseAt && guard.dumpStartedAt && *guard.userChoseAt >= *guard.dumpStartedAt;
    return !choseDuringDump || !Within(guard.userChoseAt, nowMs, JumpGuard::kQuietMs);
}

bool SysexHoldsFront(const JumpGuard& guard, std::int32_t nowMs) {
    return Within(guard.lastBlockAt, nowMs, JumpGuard::kSysexHoldMs);
}

} // namespace velmora
