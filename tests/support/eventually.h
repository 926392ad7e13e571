// Waits on a condition, never for a while: a test that needs something to
// have happened polls for it, and only a failing test waits the whole timeout.
// The timeouts are generous because a busy machine makes everything slow.
#pragma once

#include <chrono>
#include <thread>

namespace velmora::testing {

// Polls `done` every `interval` until it holds; false when it still does not
// after `timeout`.
template <typename Pred>
bool Eventually(Pred done, std::chrono::milliseconds timeout = std::chrono::seconds(20),
                std::chrono::milliseconds interval = std::chrono::milliseconds(1)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

} // namespace velmora::testing
