#include "core/warning_list.h"

#include <gtest/gtest.h>

using namespace velmora;

// Raised causes show by importance with a count of the others; a cause that
// is gone leaves; a dismissed one stays hidden until it is about something
// new or was cleared in between.
TEST(WarningList, ShowsTheMostImportantUntilGoneOrDismissed) {
    WarningList w;
    EXPECT_EQ(w.LineText(), "");
    EXPECT_FALSE(w.Dismiss());

    EXPECT_TRUE(w.Raise(WarningKind::InputLost, "Lost input: 3."));
    EXPECT_TRUE(w.Raise(WarningKind::DeviceGone, "Keys went away.", "Keys"));
    EXPECT_EQ(w.Shown(), WarningKind::DeviceGone);
    EXPECT_EQ(w.LineText(), "Keys went away. (+1 more)");
    EXPECT_FALSE(w.Raise(WarningKind::DeviceGone, "Keys went away.", "Keys")); // nothing new
    EXPECT_TRUE(w.Raise(WarningKind::ServiceGone, "The service stopped.", "stopped"));
    EXPECT_EQ(w.LineText(), "The service stopped. (+2 more)");
    EXPECT_EQ(w.Others(), 2u);

    // The cause gone: the next one shows.
    EXPECT_TRUE(w.Clear(WarningKind::ServiceGone));
    EXPECT_EQ(w.ShownText(), "Keys went away.");

    // Dismissed: hidden while the same cause holds, the next one shows.
    EXPECT_TRUE(w.Dismiss());
    EXPECT_TRUE(w.Active(WarningKind::DeviceGone));
    EXPECT_EQ(w.LineText(), "Lost input: 3.");
    EXPECT_FALSE(w.Raise(WarningKind::DeviceGone, "Keys went away.", "Keys"));
    // A changing count on the same subject updates the text, still shown.
    EXPECT_TRUE(w.Raise(WarningKind::InputLost, "Lost input: 5."));
    EXPECT_EQ(w.LineText(), "Lost input: 5.");
    EXPECT_TRUE(w.Dismiss());
    EXPECT_EQ(w.LineText(), "");
    EXPECT_FALSE(w.Raise(WarningKind::InputLost, "Lost input: 9."));
    EXPECT_EQ(w.Shown(), std::nullopt);

    // Another subject, or the cause back after it was gone, shows again.
    EXPECT_TRUE(w.Raise(WarningKind::DeviceGone, "Pads went away.", "Pads"));
    EXPECT_EQ(w.LineText(), "Pads went away.");
    w.Dismiss();
    w.Clear(WarningKind::DeviceGone);
    EXPECT_TRUE(w.Raise(WarningKind::DeviceGone, "Pads went away.", "Pads"));
    EXPECT_EQ(w.LineText(), "Pads went away.");
    EXPECT_TRUE(w.Raise(WarningKind::LoopBroken, "Thru was switched off."));
    EXPECT_EQ(w.LineText(), "Pads went away. (+1 more)");
}
