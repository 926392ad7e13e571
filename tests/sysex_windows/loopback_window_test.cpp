// The loopback test window on the simulated service: through a loop every
// probe comes back once and in order; without one, every probe is lost.
#include <gtest/gtest.h>

#include <QTest>

#include "midi/simulated/simulated_service.h"
#include "sysex/loopback_form.h"

using namespace velmora;

TEST(LoopbackWindow, CountsWhatCameBackThroughALoopAndWhatNeverDid) {
    midi::SimulatedService service({"Cable Out"}, {"Keys", "Cable In"});
    service.SetLoopback(0, 1);
    sysex::TloopbackForm form(service);
    form.cmbIn->setCurrentIndex(1);
    form.spnCount->setValue(200);
    form.spnRate->setValue(5000);
    form.spnSize->setValue(300); // each checked byte for byte on return
    form.show();
    ASSERT_TRUE(form.Run());
    EXPECT_EQ(form.btnRun->text(), QStringLiteral("&Stop"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Running(); }, 60000));
    ASSERT_TRUE(form.Figures());
    EXPECT_EQ(form.Figures()->sent, 200u);
    EXPECT_EQ(form.Figures()->received, 200u);
    EXPECT_EQ(form.Figures()->lost + form.Figures()->duplicated + form.Figures()->reordered, 0u);
    ASSERT_TRUE(form.Figures()->latency);
    EXPECT_LE(form.Figures()->latency->minimum, form.Figures()->latency->maximum);
    EXPECT_TRUE(form.lblResult->text().startsWith(
        "Sent 200, received 200, lost 0, duplicated 0, reordered 0, damaged 0\nLatency: minimum "));

    // No loop: nothing comes back within the settling time.
    service.SetLoopback(0, -1);
    form.settle = std::chrono::milliseconds(50);
    form.spnCount->setValue(3);
    ASSERT_TRUE(form.Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Running(); }, 60000));
    EXPECT_EQ(form.Figures()->lost, 3u);
    EXPECT_TRUE(form.lblResult->text().contains("Nothing came back"));
    EXPECT_TRUE(form.cmbOut->isEnabled());
}
