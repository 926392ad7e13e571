#include "midi/tick_clock.h"

#include <gtest/gtest.h>

using velmora::midi::ElapsedClock;

TEST(ElapsedClock, CountsFromTheStartTick) {
    std::uint32_t now = 5000;
    ElapsedClock clock([&] { return now; });
    clock.Start();
    EXPECT_EQ(clock.ElapsedMs(), 0);
    now = 6050;
    EXPECT_EQ(clock.ElapsedMs(), 1050);
}

TEST(ElapsedClock, TakesANewBaseWhenTheCounterWraps) {
    std::uint32_t now = 0x7FFFFF00u; // a start tick that is positive as signed
    ElapsedClock clock([&] { return now; });
    clock.Start();
    now = 0x7FFFFFFFu;
    EXPECT_EQ(clock.ElapsedMs(), 0xFF);
    now = 20; // wrapped past zero
    EXPECT_EQ(clock.ElapsedMs(), 0);
    EXPECT_EQ(clock.StartTick(), 20);
    now = 45;
    EXPECT_EQ(clock.ElapsedMs(), 25);
}

TEST(ElapsedClock, NegativeStartTickNeverRebases) {
    std::uint32_t now = 0xFFFFFF00u; // negative as signed 32-bit
    ElapsedClock clock([&] { return now; });
    clock.Start();
    now = 0x10; // the 32-bit difference still counts on across the wrap
    EXPECT_EQ(clock.ElapsedMs(), 0x110);
    EXPECT_EQ(clock.StartTick(), static_cast<std::int32_t>(0xFFFFFF00u));
}
