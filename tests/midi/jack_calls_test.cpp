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

} // namespace
