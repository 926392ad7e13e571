#include "core/jump_guard.h"

namespace velmora {

void NoteUserChoice(JumpGuard& guard, std::int32_t nowMs) {
    guard.userChoseAt = nowMs;
}

bool JumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen) {
    if (listOpen) {
        return false;
    }
    if (!guard.userChoseAt) {
        return true;
    }
    // A clock that went back (it wraps after weeks) ends the quiet time
    // rather than blocking jumps for good.
    const std::int64_t since = std::int64_t{nowMs} - *guard.userChoseAt;
    return since < 0 || since >= JumpGuard::kQuietMs;
}

} // namespace velmora
