#include "ui/gauge.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>

#include "ui/skin_palette.h"

namespace velmora::ui {

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    setFont(skin::CaptionFont());
}

void TGauge::setMinValue(int value) {
    change(value, std::max(value, max_), progress_);
}

void TGauge::setMaxValue(int value) {
    change(std::min(value, min_), value, progress_);
}

void TGauge::setProgress(int value) {
    change(min_, max_, value);
}

void TGauge::change(int min, int max, int progress) {
    const int before = percentDone();
    min_ = min;
    max_ = max;
    progress_ = std::clamp(progress, min_, max_);
    if (percentDone() != before) {
        ++repaintRequests_;
        update();
    }
}

int TGauge::percentDone() const {
    if (max_ == min_) {
        return 0;
    }
    // 64 bits: the span of two ints times 100 does not fit 32.
    const std::int64_t done = std::int64_t{progress_} - min_;
    const std::int64_t span = std::int64_t{max_} - min_;
    return static_cast<int>(100 * done / span);
}

int TGauge::filledWidth() const {
    const int inner = std::max(0, width() - 2);
    return inner * percentDone() / 100;
}

void TGauge::setShowText(bool show) {
    if (show != showText_) {
        showText_ = show;
        update();
    }
}

QString TGauge::percentText() const {
    return QString::asprintf("%d%%", percentDone());
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, Qt::black); // the border
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    painter.fillRect(inner, skin::DarkGreen());
    const int filled = filledWidth();
    if (filled >= 1) {
        painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), skin::Green());
    }
    if (showText_) {
        // White in difference mode turns every colour beneath into its inverse.
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.setPen(Qt::white);
        painter.drawText(inner, Qt::AlignCenter, percentText());
    }
}

} // namespace velmora::ui
