#include <QImage>
#include <climits>

#include "ui/gauge.h"
#include "ui/skin_palette.h"
#include "window_host.h"

using namespace velmora::ui;

namespace {

// Counts the pixels of `image` within `area` that satisfy `test`.
template <typename Test> int CountPixels(const QImage& image, const QRect& area, Test test) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += test(image.pixelColor(x, y)) ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST(Gauge, DefaultsAndClamping) {
    TGauge gauge;
    EXPECT_EQ(gauge.minValue(), 0);
    EXPECT_EQ(gauge.maxValue(), 100);
    EXPECT_EQ(gauge.progress(), 0);
    gauge.setProgress(150);
    EXPECT_EQ(gauge.progress(), 100);
    EXPECT_EQ(gauge.percentDone(), 100);
    EXPECT_EQ(gauge.percentText(), QStringLiteral("100%"));
    gauge.setProgress(-5);
    EXPECT_EQ(gauge.progress(), 0);
    EXPECT_EQ(gauge.percentText(), QStringLiteral("0%"));

    gauge.setProgress(80);
    gauge.setMaxValue(50); // the progress follows the range
    EXPECT_EQ(gauge.progress(), 50);
    gauge.setMinValue(70); // a minimum above the maximum takes it along
    EXPECT_EQ(gauge.maxValue(), 70);
    EXPECT_EQ(gauge.progress(), 70);
    EXPECT_EQ(gauge.percentDone(), 0); // max == min
}

TEST(Gauge, EventValueRange) {
    TGauge gauge;
    gauge.resize(102, 12); // inner width 100
    gauge.setMaxValue(127);
    const struct {
        int value;
        int percent;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {64, 50}, {126, 99}, {127, 100}};
    for (const auto& c : cases) {
        gauge.setProgress(c.value);
        EXPECT_EQ(gauge.percentDone(), c.percent) << c.value;
        EXPECT_EQ(gauge.filledWidth(), c.percent) << c.value;
    }
    gauge.resize(52, 12); // inner 50: 1% is half a pixel
    gauge.setProgress(2);
    EXPECT_EQ(gauge.filledWidth(), 0);
}

TEST(Gauge, WholeIntRangeDoesNotOverflow) {
    TGauge gauge;
    gauge.setMinValue(INT_MIN);
    gauge.setMaxValue(INT_MAX);
    gauge.setProgress(0);
    EXPECT_EQ(gauge.percentDone(), 50);
    gauge.setProgress(INT_MAX);
    EXPECT_EQ(gauge.percentDone(), 100);
}

TEST(Gauge, RepaintsOnlyWhenThePercentChanges) {
    TGauge gauge;
    gauge.setMaxValue(127);
    const int start = gauge.repaintRequests();
    gauge.setProgress(1); // still 0 %
    EXPECT_EQ(gauge.repaintRequests(), start);
    gauge.setProgress(2); // 1 %
    EXPECT_EQ(gauge.repaintRequests(), start + 1);
    gauge.setProgress(2);
    gauge.setMaxValue(127);
    EXPECT_EQ(gauge.repaintRequests(), start + 1);
    gauge.setProgress(500); // clamped: 100 %
    gauge.setProgress(127);
    EXPECT_EQ(gauge.repaintRequests(), start + 2);
}

TEST(Gauge, DrawsBorderGroundBarAndInvertedText) {
    TGauge gauge;
    gauge.resize(102, 16);
    gauge.setProgress(50);
    QImage plain = gauge.grab().toImage();
    ASSERT_EQ(plain.size(), QSize(102, 16));
    EXPECT_EQ(plain.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(plain.pixelColor(101, 15), QColor(Qt::black));
    EXPECT_EQ(plain.pixelColor(1, 8), skin::Green());  // bar from the left inner edge
    EXPECT_EQ(plain.pixelColor(50, 8), skin::Green()); // 50 of 100 inner pixels
    EXPECT_EQ(plain.pixelColor(51, 8), skin::DarkGreen());
    EXPECT_EQ(plain.pixelColor(100, 14), skin::DarkGreen());

    // The text shows each colour beneath it inverted.
    const auto near = [](QColor want) {
        return [want](const QColor& c) {
            return std::abs(c.red() - want.red()) < 12 && std::abs(c.green() - want.green()) < 12 &&
                   std::abs(c.blue() - want.blue()) < 12;
        };
    };
    const auto invertedBar = near(QColor(255 - 32, 255 - 160, 255));
    const auto invertedGround = near(QColor(255, 255 - 80, 255));
    const QRect filledHalf(1, 1, 50, 14);
    const QRect emptyHalf(51, 1, 50, 14);
    EXPECT_EQ(CountPixels(plain, plain.rect(), invertedBar), 0);
    EXPECT_EQ(CountPixels(plain, plain.rect(), invertedGround), 0);
    gauge.setShowText(true);
    EXPECT_EQ(gauge.percentText(), QStringLiteral("50%"));
    const QImage text = gauge.grab().toImage();
    EXPECT_GT(CountPixels(text, filledHalf, invertedBar), 0);      // "5" over the bar
    EXPECT_GT(CountPixels(text, emptyHalf, invertedGround), 0);    // "%" over the ground
    EXPECT_EQ(CountPixels(text, text.rect(), near(Qt::white)), 0); // not merely written white

    gauge.setProgress(0);
    const QImage empty = gauge.grab().toImage();
    EXPECT_EQ(CountPixels(empty, QRect(1, 1, 100, 14),
                          [](const QColor& c) { return c == velmora::ui::skin::Green(); }),
              0);
}
