// Transfers through the test server that allow for its late cycles. The
// server is not realtime: on a busy machine a client now and then misses a
// cycle, and JACK drops that cycle's MIDI. A transfer that came up short
// while the peer saw the server run late is tried again; one that came up
// short without a late cycle is a real loss and fails.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "jack_peer.h"

namespace velmora::jacktest {

// Runs `attempt(lateCyclesBefore)` until it succeeds, up to `attempts` times
// in all, again only while late cycles came during the last try; the last
// result (a bool or a testing::AssertionResult).
template <typename Attempt>
auto RepeatedOnLateCycles(const JackPeer& peer, Attempt attempt, int attempts = 4) {
    for (int i = 1;; ++i) {
        const std::uint64_t before = peer.XRuns();
        auto result = attempt(before);
        if (result || peer.XRuns() == before || i == attempts) {
            return result;
        }
        std::printf("the server ran late during attempt %d: again\n", i);
    }
}

// Waits until `received()` reaches `wanted`: up to 20 s, or until nothing more
// has come for a second after the server ran late (what is lost then stays
// lost; the caller tries again).
template <typename Received>
bool WaitForAllUnlessLate(const JackPeer& peer, std::uint64_t lateCyclesBefore, std::size_t wanted,
                          Received received) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::size_t last = received();
    auto lastChange = std::chrono::steady_clock::now();
    while (last < wanted) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline ||
            (peer.XRuns() != lateCyclesBefore && now - lastChange > std::chrono::seconds(1))) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (const std::size_t n = received(); n != last) {
            last = n;
            lastChange = std::chrono::steady_clock::now();
        }
    }
    return true;
}

} // namespace velmora::jacktest
