// Sleeping on a 32-bit atomic until another thread changes it and wakes the
// sleeper, with no spinning first. std::atomic::wait in libstdc++ spins and
// calls sched_yield a dozen times before it sleeps: for a delivery thread
// woken at every message of a sparse stream, that spin was most of its CPU.
// On Linux these are the futex system calls themselves (a wake never blocks,
// allocates or takes a lock, so the real-time thread may make one);
// elsewhere they fall back to std::atomic's own.
#pragma once

#include <atomic>
#include <cstdint>

#ifdef __linux__
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace velmora::midi {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

// Sleeps while `word` holds `seen`; may return early (a signal, or a change
// that came first): the caller looks again.
inline void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t seen) {
#ifdef __linux__
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen, nullptr,
            nullptr, 0);
#else
    word.wait(seen, std::memory_order_acquire);
#endif
}

// Wakes one thread, or all, sleeping on `word`; the caller changed it first.
inline void FutexWake(std::atomic<std::uint32_t>& word, bool all = false) {
#ifdef __linux__
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE,
            all ? 0x7fffffff : 1, nullptr, nullptr, 0);
#else
    if (all) {
        word.notify_all();
    } else {
        word.notify_one();
    }
#endif
}

} // namespace velmora::midi
