#include "ui/link_label.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>

#include "ui/skin_palette.h"

namespace velmora::ui {

TLinkLabel::TLinkLabel(const QString& address, QWidget* parent)
    : QLabel(parent), normalColour_(skin::Green()),
      opener_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setTextFormat(Qt::PlainText);
    setFont(skin::CaptionFont());
    setCursor(Qt::PointingHandCursor);
    setText(address);
    highlight(false);
    adjustSize();
}

void TLinkLabel::setNormalColour(const QColor& colour) {
    normalColour_ = colour;
    highlight(highlighted_);
}

void TLinkLabel::addHoverCaption(QWidget* caption) {
    caption->installEventFilter(this);
}

QUrl TLinkLabel::mailUrl() const {
    return QUrl(QStringLiteral("mailto: ") + text());
}

void TLinkLabel::highlight(bool on) {
    highlighted_ = on;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, on ? skin::LinkBlue() : normalColour_);
    setPalette(colours);
    QFont face = font();
    face.setUnderline(on);
    setFont(face);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    highlight(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    highlight(false);
    QLabel::leaveEvent(event);
}

bool TLinkLabel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        highlight(true);
    } else if (event->type() == QEvent::Leave) {
        highlight(false);
    }
    return QLabel::eventFilter(watched, event);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        pressed_ = false;
    }
    if (click && opener_) {
        opener_(mailUrl());
    }
}

} // namespace velmora::ui
