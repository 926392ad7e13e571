// When a monitor may bring its panel to the front by itself: never while a
// drop-down list or menu is open, and never soon after the user chose a
// panel, so that a steady stream of input cannot take the window away from
// the user.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

struct JumpGuard {
    static constexpr std::int32_t kQuietMs = 3000;
    std::optional<std::int32_t> userChoseAt; // milliseconds, on the window's clock
};

// Remembers that the user chose a panel at `nowMs`.
void NoteUserChoice(JumpGuard& guard, std::int32_t nowMs);

// Whether a jump may happen at `nowMs` with a list open or not.
bool JumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen);

} // namespace velmora
