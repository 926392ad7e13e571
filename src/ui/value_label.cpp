#include "ui/value_label.h"

#include <QPainter>

namespace velmora::ui {

TValueLabel::TValueLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
}

void TValueLabel::paintEvent(QPaintEvent*) {
    const QString shown = text();
    if (shown.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    // Centred as the plain label centres it; a value wider than the label
    // shows its middle.
    const qreal x = area.left() + (area.width() - metrics.horizontalAdvance(shown)) / 2;
    const qreal y = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();
    painter.drawText(QPointF(x, y), shown);
}

} // namespace velmora::ui
