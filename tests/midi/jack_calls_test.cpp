// The calls to a JACK server that run with a bound, without a server: a
// null handle and asks that wait on a gate of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "midi/jack/jack_calls.h"
#include "midi/jack/missed_cycles.h"
#include "support/eventually.h"

namespace {

using namespace std::chrono_literals;
using velmora::midi::JackCalls;

// Asks return what they return, in order; one that throws gives nothing.
// A server that goes away while an ask hangs wakes its caller at once, later
// asks fail at once, and the ask that hung finishes on its own thread after
// JackCalls is gone, then what was posted behind it runs.
TEST(JackCallsTest, AnswersAndGivesUpOnAServerThatWentAway) {
    auto calls = std::make_unique<JackCalls>(nullptr);
    EXPECT_EQ(calls->Run([](jack_client_t* handle) { return handle == nullptr ? 7 : 0; }), 7);
    EXPECT_FALSE(calls->Run([](jack_client_t*) -> int { throw std::runtime_error("refused"); }));
    EXPECT_TRUE(calls->Answered());

    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    auto started = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    auto posted = std::make_shared<std::atomic<bool>>(false);
    std::future<std::optional<int>> hung = std::async(std::launch::async, [&] {
        return calls->Run([open, started, finished](jack_client_t*) {
            started->set_value();
            open.wait();
            finished->store(true);
            return 1;
        });
    });
    started->get_future().wait();
    calls->Abandon();
    ASSERT_EQ(hung.wait_for(3s), std::future_status::ready) << "the caller waited its bound";
    EXPECT_FALSE(hung.get());
    EXPECT_FALSE(calls->Answered());
    bool ranLate = false;
    EXPECT_FALSE(calls->Run([&ranLate](jack_client_t*) { return ranLate = true; }));
    calls->Post([posted](jack_client_t*) { posted->store(true); });
    calls.reset(); // does not wait for the ask that hangs

    gate.set_value();
    EXPECT_TRUE(velmora::testing::Eventually([&] { return posted->load(); }));
    EXPECT_TRUE(finished->load());
    EXPECT_FALSE(ranLate);
}

// A cycle that does not start where the last one ended follows missed ones
// (PipeWire's only sign of them): a gap or a repeated period counts, a frame
// counter that wraps or a period that changes length does not.
TEST(MissedCyclesTest, AGapOrARepeatCountsAndAWrapDoesNot) {
    velmora::midi::MissedCycles cycles;
    EXPECT_FALSE(cycles.Missed(1000, 256)); // the first: nothing to follow
    EXPECT_FALSE(cycles.Missed(1256, 256));
    EXPECT_TRUE(cycles.Missed(2024, 256)); // two periods skipped
    EXPECT_TRUE(cycles.Missed(2024, 256)); // the same period again
    EXPECT_FALSE(cycles.Missed(2280, 128));
    EXPECT_FALSE(cycles.Missed(2408, 128));
    EXPECT_TRUE(cycles.Missed(0xFFFFFF80u, 256)); // far on
    EXPECT_FALSE(cycles.Missed(0x80u, 256));      // wrapped past 2^32
}

} // namespace
