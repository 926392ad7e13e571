// The loop of a loopback test, the same for the command line and the
// window: probe n goes out at n / rate seconds from the start, then the
// loop waits for stragglers until every probe sent is back or nothing came
// back for the settling time. What a probe is and how it is counted is the
// caller's (core/loopback_stats.h); the loop only knows numbers.
//
// Threads: Run on the sending thread (it waits); Arrived, Cancel and the
// readers on any thread, the input's delivery thread included (they take a
// short lock, never the real-time thread's).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora::midi {

class ProbeLoop {
  public:
    ProbeLoop(std::size_t count, double rate, std::chrono::milliseconds settle);

    // Sends the probes with `send(n)` (false: the port took it not, and the
    // sending ends), then waits for the rest. `stop`, when given, is asked
    // every few milliseconds and ends the run like Cancel (for a stop signal,
    // which can't take a lock). Returns how many probes went out.
    std::size_t Run(const std::function<bool(std::uint32_t)>& send,
                    const std::function<bool()>& stop = {});

    // Something came back: probe `number` (its first return counts), or no
    // probe at all (nullopt: it still shows the way is busy).
    void Arrived(std::optional<std::uint32_t> number);
    void Cancel();

    std::size_t Sent() const;
    // Distinct probes back.
    std::size_t Back() const;

    static constexpr std::chrono::milliseconds kStopPoll{10};

  private:
    using Clock = std::chrono::steady_clock;
    // Waits until `until`, a cancel or `done` (under `lock`); false once
    // cancelled or stopped.
    bool WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point until,
                   const std::function<bool()>& stop, const std::function<bool()>& done);

    const std::size_t count_;
    const Clock::duration step_;
    const std::chrono::milliseconds settle_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool cancelled_ = false;
    std::size_t sent_ = 0;
    std::size_t back_ = 0;
    std::vector<bool> came_; // per probe
    Clock::time_point lastHeard_{};
};

} // namespace velmora::midi
