// When a monitor may bring its panel to the front by itself. Never while a
// drop-down list or menu is open. The data monitor not soon after the user
// chose a panel, so that a steady stream of notes cannot take the window
// away from the user, and not while the sysex monitor shows a dump that is
// arriving or has just ended. The sysex monitor at every new dump, unless the
// user chose a panel while that dump arrives.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

struct JumpGuard {
    static constexpr std::int32_t kQuietMs = 3000;
    // How long after a block the sysex monitor keeps the front; a block after
    // a longer silence starts a new dump.
    static constexpr std::int32_t kSysexHoldMs = 1500;
    // Milliseconds, on the window's clock.
    std::optional<std::int32_t> userChoseAt;
    std::optional<std::int32_t> dumpStartedAt;
    std::optional<std::int32_t> lastBlockAt;
};

// Remembers that the user chose a panel at `nowMs`.
void NoteUserChoice(JumpGuard& guard, std::int32_t nowMs);

// Remembers a sysex block that arrived at `nowMs`.
void NoteSysexBlock(JumpGuard& guard, std::int32_t nowMs);

// Whether the data monitor may come to the front at `nowMs`, leaving aside
// the sysex monitor's hold.
bool JumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen);

// Whether the sysex monitor may come to the front for the block noted last.
bool SysexJumpAllowed(const JumpGuard& guard, std::int32_t nowMs, bool listOpen);

// Whether a dump keeps the sysex monitor in front at `nowMs`.
bool SysexHoldsFront(const JumpGuard& guard, std::int32_t nowMs);

} // namespace velmora
