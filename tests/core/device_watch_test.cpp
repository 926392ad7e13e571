#include "core/device_watch.h"

#include <gtest/gtest.h>

using namespace velmora;

// An open device that leaves is closed and said gone; one that left and came
// back between two looks is closed and opened again, unsaid; one that is
// away opens again once listed; nothing happens otherwise.
TEST(DeviceWatch, ClosesWhatLeftAndReopensWhatCameBack) {
    auto step = [](WatchedDevice d, bool listed, bool portGone) {
        const DeviceWatchStep s = WatchDevice(d, listed, portGone);
        return std::tuple{s.action, s.left, s.returned};
    };
    using A = DeviceAction;
    const WatchedDevice open{"Keys", true, false};
    const WatchedDevice away{"Keys", false, true};
    const WatchedDevice closed{"Keys", false, false};
    EXPECT_EQ(step(open, true, false), std::tuple(A::None, false, false));
    EXPECT_EQ(step(open, false, false), std::tuple(A::Close, true, false));
    EXPECT_EQ(step(open, false, true), std::tuple(A::Close, true, false));
    EXPECT_EQ(step(open, true, true), std::tuple(A::CloseAndReopen, false, false));
    EXPECT_EQ(step(away, false, false), std::tuple(A::None, false, false));
    EXPECT_EQ(step(away, true, false), std::tuple(A::Reopen, false, true));
    // Closed by the user, or nothing chosen: left alone.
    EXPECT_EQ(step(closed, true, false), std::tuple(A::None, false, false));
    EXPECT_EQ(step({"", false, true}, true, false), std::tuple(A::None, false, false));
    EXPECT_EQ(DeviceLeftText("input", "Keys"), "The MIDI input 'Keys' went away.");
}
