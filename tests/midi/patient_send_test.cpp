#include "midi/patient_send.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::midi {
namespace {

using namespace std::chrono_literals;

// An output whose queue is full at every other offer, that can leave.
struct BusyPort {
    bool SendShort(ShortMessage m) {
        if (++offers % 2 == 1 || gone || refuseAll) {
            return false;
        }
        taken.push_back(m);
        return true;
    }
    bool Gone() const { return gone; }
    int offers = 0;
    bool refuseAll = false;
    bool gone = false;
    std::vector<ShortMessage> taken;
};

// Refusals while the queue is full are waited out and everything arrives in
// order; a port that is gone, or takes nothing within the patience, ends
// the run at the first message not taken.
TEST(PatientSend, WaitsOutAFullQueueAndStopsAtAPortThatTakesNothing) {
    const std::vector<ShortMessage> messages = {PackShortMessage(0xB0, 123, 0),
                                                PackShortMessage(0xB1, 123, 0),
                                                PackShortMessage(0xB2, 123, 0)};
    BusyPort busy;
    EXPECT_EQ(SendAllPatiently(busy, std::span(messages), 10min), 3u);
    EXPECT_EQ(busy.taken, messages);

    BusyPort stuck;
    stuck.refuseAll = true;
    EXPECT_EQ(SendAllPatiently(stuck, std::span(messages), 0ms), 0u);
    EXPECT_EQ(stuck.offers, 1);

    BusyPort gone;
    gone.gone = true;
    EXPECT_FALSE(SendPatiently(gone, messages[0], 10min));
}

} // namespace
} // namespace velmora::midi
