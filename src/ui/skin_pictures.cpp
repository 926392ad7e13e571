#include "ui/skin_pictures.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "ui/skin_palette.h"

namespace velmora::ui::skin {
namespace {

QColor WithAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

// Lines of one logical pixel sit on pixel centres so they stay sharp.
QRectF Hairline(const QRect& area) {
    return QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
}

void PaintCornerMarks(QPainter& painter, const QRect& area, int inset, int length) {
    painter.setPen(QPen(Green(), 1));
    const QRectF r = QRectF(area).adjusted(inset + 0.5, inset + 0.5, -inset - 0.5, -inset - 0.5);
    const qreal l = length;
    painter.drawPolyline(QPolygonF{{r.left(), r.top() + l}, r.topLeft(), {r.left() + l, r.top()}});
    painter.drawPolyline(
        QPolygonF{{r.right() - l, r.top()}, r.topRight(), {r.right(), r.top() + l}});
    painter.drawPolyline(
        QPolygonF{{r.left(), r.bottom() - l}, r.bottomLeft(), {r.left() + l, r.bottom()}});
    painter.drawPolyline(
        QPolygonF{{r.right() - l, r.bottom()}, r.bottomRight(), {r.right(), r.bottom() - l}});
}

} // namespace

QFont CaptionFont(bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setBold(bold);
    return font;
}

qreal PictureScale() {
    const qreal screen = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    return std::max<qreal>(2.0, std::ceil(screen));
}

QPixmap PaintPicture(QSize size, const std::function<void(QPainter&, const QRect&)>& draw) {
    const qreal scale = PictureScale();
    QPixmap picture(size * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, QRect(QPoint(0, 0), size));
    return picture;
}

void PaintWindowBackground(QPainter& painter, const QRect& area) {
    painter.save();
    QLinearGradient ground(area.topLeft(), area.bottomLeft());
    ground.setColorAt(0.0, QColor(16, 20, 16));
    ground.setColorAt(1.0, QColor(2, 3, 2));
    painter.fillRect(area, ground);
    // A faint scan-line texture, as on an instrument display.
    painter.setPen(QPen(WithAlpha(DarkGreen(), 22), 1));
    for (int y = area.top() + 2; y < area.bottom(); y += 3) {
        painter.drawLine(QPointF(area.left(), y + 0.5), QPointF(area.right() + 1, y + 0.5));
    }
    painter.setPen(QPen(WithAlpha(Green(), 36), 1));
    painter.drawLine(QPointF(area.left(), area.top() + 0.5),
                     QPointF(area.right() + 1, area.top() + 0.5));
    PaintCornerMarks(painter, area, 4, 6);
    painter.restore();
}

void PaintPanelFrame(QPainter& painter, const QRect& area) {
    painter.save();
    const QRectF r = Hairline(area);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, QColor(10, 24, 10, 235));
    fill.setColorAt(1.0, QColor(3, 10, 3, 235));
    painter.setBrush(fill);
    painter.setPen(QPen(DarkGreen(), 1));
    painter.drawRoundedRect(r, 3, 3);
    painter.setPen(QPen(WithAlpha(Green(), 70), 1));
    painter.drawLine(QPointF(r.left() + 3, r.top() + 1), QPointF(r.right() - 3, r.top() + 1));
    painter.restore();
}

void PaintStatusFrame(QPainter& painter, const QRect& area) {
    painter.save();
    const QRectF r = Hairline(area);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, QColor(0, 14, 0));
    fill.setColorAt(1.0, QColor(0, 26, 0));
    painter.setBrush(fill);
    painter.setPen(QPen(DarkGreen(), 1));
    painter.drawRoundedRect(r, 2, 2);
    // Sunken: shadow along the top and left, a green glint along the bottom and right.
    const QRectF in = r.adjusted(1, 1, -1, -1);
    painter.setPen(QPen(QColor(0, 0, 0, 170), 1));
    painter.drawLine(in.topLeft() + QPointF(1, 0), in.topRight() - QPointF(1, 0));
    painter.drawLine(in.topLeft() + QPointF(0, 1), in.bottomLeft() - QPointF(0, 1));
    painter.setPen(QPen(WithAlpha(Green(), 60), 1));
    painter.drawLine(in.bottomLeft() + QPointF(1, 0), in.bottomRight() - QPointF(1, 0));
    painter.drawLine(in.topRight() + QPointF(0, 1), in.bottomRight() - QPointF(0, 1));
    painter.restore();
}

QPixmap BackgroundPicture(QSize size) {
    return PaintPicture(size, [](QPainter& p, const QRect& r) { PaintWindowBackground(p, r); });
}

QPixmap StatusFramePicture(QSize size) {
    return PaintPicture(size, [](QPainter& p, const QRect& r) { PaintStatusFrame(p, r); });
}

QPixmap ButtonFacePicture(bool pressed) {
    return PaintPicture(kButtonFaceSize, [pressed](QPainter& p, const QRect& area) {
        const QRectF r = Hairline(area);
        QLinearGradient body(r.topLeft(), r.bottomLeft());
        body.setColorAt(0.0, pressed ? QColor(12, 14, 12) : QColor(64, 68, 64));
        body.setColorAt(1.0, pressed ? QColor(34, 38, 34) : QColor(20, 22, 20));
        p.setBrush(body);
        p.setPen(QPen(pressed ? Green() : DarkGreen(), 1));
        p.drawRoundedRect(r, 3, 3);
        if (!pressed) {
            p.setPen(QPen(QColor(255, 255, 255, 46), 1));
            p.drawLine(QPointF(3, 1.5), QPointF(32, 1.5));
        }
        // The indicator slot: dim when released, lit and one pixel lower when pressed.
        const QRectF slot(11, pressed ? 6 : 5, 13, 3);
        if (pressed) {
            p.setPen(Qt::NoPen);
            p.setBrush(WithAlpha(Green(), 70));
            p.drawRoundedRect(slot.adjusted(-2, -1.5, 2, 1.5), 2.5, 2.5);
            p.setBrush(Green());
            p.drawRoundedRect(slot, 1.5, 1.5);
            p.setBrush(QColor(150, 240, 110));
            p.drawRect(slot.adjusted(2, 1, -2, -1));
        } else {
            p.setPen(QPen(QColor(0, 0, 0, 150), 1));
            p.setBrush(QColor(0, 56, 0));
            p.drawRoundedRect(slot, 1.5, 1.5);
        }
    });
}

QPixmap LedPicture(bool lit) {
    return PaintPicture(kLedSize, [lit](QPainter& p, const QRect&) {
        const QPointF centre(4.5, 4.5);
        QRadialGradient glow(QPointF(3.6, 3.6), 4.5);
        if (lit) {
            glow.setColorAt(0.0, QColor(200, 255, 160));
            glow.setColorAt(0.55, Green());
            glow.setColorAt(1.0, QColor(0, 96, 0));
        } else {
            glow.setColorAt(0.0, QColor(0, 64, 0));
            glow.setColorAt(1.0, QColor(0, 24, 0));
        }
        p.setPen(QPen(QColor(0, 0, 0, 190), 0.8));
        p.setBrush(glow);
        p.drawEllipse(centre, 4.0, 4.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, lit ? 170 : 36));
        p.drawEllipse(QPointF(3.3, 3.2), 1.0, 0.8);
    });
}

QPixmap OpenSwitchPicture(bool open) {
    return PaintPicture(kSwitchSize, [open](QPainter& p, const QRect& area) {
        const QRectF track = Hairline(area);
        QLinearGradient fill(track.topLeft(), track.bottomLeft());
        fill.setColorAt(0.0, open ? QColor(20, 120, 0) : QColor(18, 20, 18));
        fill.setColorAt(1.0, open ? Green() : QColor(36, 40, 36));
        p.setBrush(fill);
        p.setPen(QPen(open ? Green() : DarkGreen(), 1));
        p.drawRoundedRect(track, 5.5, 5.5);
        // The knob sits right when the port is open.
        const QPointF knob(open ? 28.0 : 6.0, 6.0);
        QRadialGradient shade(knob - QPointF(1.2, 1.2), 5.0);
        shade.setColorAt(0.0, open ? QColor(240, 240, 240) : QColor(140, 140, 140));
        shade.setColorAt(1.0, open ? QColor(150, 160, 150) : QColor(56, 58, 56));
        p.setPen(QPen(QColor(0, 0, 0, 160), 0.8));
        p.setBrush(shade);
        p.drawEllipse(knob, 4.2, 4.2);
        // A small mark on the free side: a lit bar when open, a hollow ring when closed.
        if (open) {
            p.setPen(QPen(QColor(210, 255, 190), 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10.5, 4.0), QPointF(10.5, 8.0));
        } else {
            p.setPen(QPen(QColor(110, 116, 110), 1.2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(24.0, 6.0), 2.2, 2.2);
        }
    });
}

QPixmap ThruSwitchPicture(bool on) {
    return PaintPicture(kSwitchSize, [on](QPainter& p, const QRect& area) {
        const QRectF track = Hairline(area);
        p.setBrush(QColor(14, 16, 14));
        p.setPen(QPen(on ? Green() : DarkGreen(), 1));
        p.drawRoundedRect(track, 2.5, 2.5);
        // An arrow running through: bright when on; dim and blocked by a bar when off.
        const QColor arrow = on ? Green() : QColor(0, 72, 0);
        if (on) {
            p.setPen(QPen(WithAlpha(Green(), 60), 3.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(6, 6), QPointF(24, 6));
        }
        p.setPen(QPen(on ? QColor(150, 240, 110) : arrow, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6, 6), QPointF(24, 6));
        QPainterPath head;
        head.moveTo(29, 6);
        head.lineTo(24, 2.5);
        head.lineTo(24, 9.5);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(on ? Green() : arrow);
        p.drawPath(head);
        if (!on) {
            p.setPen(QPen(QColor(150, 150, 150), 2.0, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(16, 2.5), QPointF(16, 9.5));
        }
    });
}

} // namespace velmora::ui::skin
