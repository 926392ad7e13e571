#include "help/version_names.h"

#include <gtest/gtest.h>

namespace velmora::help {
namespace {

FileVersion V(int a, int b, int c, int d = 0) {
    return {a, b, c, d};
}

TEST(FileVersion, ParsesOneToFourDottedNumbers) {
    EXPECT_EQ(ParseFileVersion("4.74.9273.0"), V(4, 74, 9273, 0));
    EXPECT_EQ(ParseFileVersion("6.0"), V(6, 0, 0, 0));
    EXPECT_EQ(ParseFileVersion("5"), V(5, 0, 0, 0));
    for (const char* bad : {"", ".", "4.", "4..1", "4.74.9273.0.1", "a.b", "4.-1", "4.74 "}) {
        EXPECT_FALSE(ParseFileVersion(bad)) << bad;
    }
    EXPECT_EQ(VersionText(V(4, 74, 9273, 12)), "4.74.9273.12");
}

TEST(HtmlHelpFriendlyName, FirstThresholdReachedWins) {
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 9273)), "1.33");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 9273, 999)), "1.33"); // the build does not count
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 9274)), "> 1.33");
    EXPECT_EQ(HtmlHelpFriendlyName(V(5, 2, 3790)), "> 1.33");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 9272)), "1.32");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 8857)), "1.32");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 8856)), "1.31");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 8793)), "1.31");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 8702)), "1.3");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 74, 1)), "1.22"); // below 4.74.8702, above 4.73.8561
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 73, 8561)), "1.22");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 73, 8474)), "1.21a");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 73, 8412)), "1.21");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 73, 8252)), "1.2");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 72, 8164)), "1.1b");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 72, 7325)), "1.1a");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 72, 7323)), "1.1");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 72, 7290)), "1.0");
    EXPECT_EQ(HtmlHelpFriendlyName(V(4, 72, 7289)), "< 1.0");
    EXPECT_EQ(HtmlHelpFriendlyName(V(0, 0, 0)), "< 1.0");
}

TEST(BrowserControlVersion, EarlyBuildsMoveToTheReleasePlace) {
    EXPECT_EQ(NormalizeBrowserControlVersion(V(4, 70, 0, 1155)), V(4, 70, 1155, 0));
    EXPECT_EQ(NormalizeBrowserControlVersion(V(4, 40, 0, 308)), V(4, 40, 308, 0));
    // Later ones, or a release already in place, stay.
    EXPECT_EQ(NormalizeBrowserControlVersion(V(4, 71, 0, 1712)), V(4, 71, 0, 1712));
    EXPECT_EQ(NormalizeBrowserControlVersion(V(4, 70, 1300, 5)), V(4, 70, 1300, 5));
    EXPECT_EQ(NormalizeBrowserControlVersion(V(5, 0, 0, 2014)), V(5, 0, 0, 2014));
}

TEST(BrowserControlFriendlyName, NamesTheReleaseWithEndsBelowAndAbove) {
    EXPECT_EQ(BrowserControlFriendlyName(V(4, 40, 307)), "< Internet Explorer 1.0 (Plus!)");
    EXPECT_EQ(BrowserControlFriendlyName(V(4, 40, 308)), "Internet Explorer 1.0 (Plus!)");
    EXPECT_EQ(BrowserControlFriendlyName(NormalizeBrowserControlVersion(V(4, 70, 0, 1155))),
              "Internet Explorer 3.0");
    EXPECT_EQ(BrowserControlFriendlyName(V(4, 71, 1712, 6)), "Internet Explorer 4.0");
    EXPECT_EQ(BrowserControlFriendlyName(V(4, 71, 1712, 5)),
              "Internet Explorer 4.0 Platform Preview 2");
    EXPECT_EQ(BrowserControlFriendlyName(V(5, 50, 4134, 600)), "Internet Explorer 5.5");
    EXPECT_EQ(BrowserControlFriendlyName(V(5, 50, 4134, 100)),
              "Internet Explorer 5.5 (Windows Me)");
    EXPECT_EQ(BrowserControlFriendlyName(V(6, 0, 2600, 0)), "Internet Explorer 6 (Windows XP)");
    EXPECT_EQ(BrowserControlFriendlyName(V(6, 0, 2900, 2180)), "> Internet Explorer 6");
    EXPECT_EQ(BrowserControlFriendlyName(V(11, 0, 19041, 1)), "> Internet Explorer 6");
}

} // namespace
} // namespace velmora::help
