#include "midi/probe_loop.h"

#include <algorithm>

namespace velmora::midi {

ProbeLoop::ProbeLoop(std::size_t count, double rate, std::chrono::milliseconds settle)
    : count_(count), step_(std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(1.0 / std::max(rate, 0.001)))),
      settle_(settle), came_(count, false) {}

bool ProbeLoop::WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point until,
                          const std::function<bool()>& stop, const std::function<bool()>& done) {
    while (!cancelled_ && !done()) {
        if (stop && stop()) {
            cancelled_ = true;
            break;
        }
        const auto now = Clock::now();
        if (now >= until) {
            return true;
        }
        // A stop signal can't wake the wait: it is asked in short steps.
        wake_.wait_until(lock, stop ? std::min(until, now + kStopPoll) : until);
    }
    return !cancelled_;
}

std::size_t ProbeLoop::Run(const std::function<bool(std::uint32_t)>& send,
                           const std::function<bool()>& stop) {
    const auto start = Clock::now();
    std::unique_lock lock(lock_);
    const auto never = [] { return false; };
    for (std::size_t n = 0; n < count_; ++n) {
        if (!WaitUntil(lock, start + step_ * static_cast<std::int64_t>(n), stop, never)) {
            return sent_;
        }
        sent_ = n + 1;
        lastHeard_ = Clock::now();
        lock.unlock(); // the port's send may wait, and arrivals come meanwhile
        const bool taken = send(static_cast<std::uint32_t>(n));
        lock.lock();
        if (!taken) {
            break;
        }
    }
    // Stragglers: until all are back or the way stayed quiet for the settling time.
    const auto allBack = [this] { return back_ >= sent_; };
    while (!cancelled_ && !allBack()) {
        const auto quietUntil = lastHeard_ + settle_;
        if (Clock::now() >= quietUntil || !WaitUntil(lock, quietUntil, stop, allBack)) {
            break;
        }
    }
    return sent_;
}

void ProbeLoop::Arrived(std::optional<std::uint32_t> number) {
    {
        std::lock_guard lock(lock_);
        lastHeard_ = Clock::now();
        if (!number || *number >= came_.size() || came_[*number]) {
            return;
        }
        came_[*number] = true;
        ++back_;
    }
    wake_.notify_all();
}

void ProbeLoop::Cancel() {
    {
        std::lock_guard lock(lock_);
        cancelled_ = true;
    }
    wake_.notify_all();
}

std::size_t ProbeLoop::Sent() const {
    std::lock_guard lock(lock_);
    return sent_;
}

std::size_t ProbeLoop::Back() const {
    std::lock_guard lock(lock_);
    return back_;
}

} // namespace velmora::midi
