#include "ui/image_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmora::ui {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

TImage::TImage(const QPixmap& picture, QWidget* parent) : QWidget(parent) {
    setPicture(picture);
}

void TImage::setPicture(const QPixmap& picture) {
    picture_ = picture;
    if (!picture_.isNull()) {
        resize(picture_.deviceIndependentSize().toSize());
    }
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    // Pictures are drawn at a higher density; a smooth reduction keeps them clean.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QPoint(0, 0), picture_);
}

TImageControl::TImageControl(QWidget* parent) : TImage(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TImageControl::setTag(int value) {
    tag_.set(value);
    tagChanged();
}

void TImageControl::bindTag(std::atomic<int>& shared) {
    tag_.bind(shared);
    tagChanged();
}

void TImageControl::setFaces(const QPixmap& off, const QPixmap& on) {
    offFace_ = off;
    onFace_ = on;
    showFace(showsOn_);
}

void TImageControl::showFace(bool on) {
    showsOn_ = on;
    setPicture(on ? onFace_ : offFace_);
}

void TImageControl::mousePressEvent(QMouseEvent* event) {
    handlePress(event, this);
}

void TImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
    handlePress(event, this);
}

void TImageControl::mouseReleaseEvent(QMouseEvent* event) {
    handleRelease(event, this);
}

void TImageControl::handlePress(QMouseEvent* event, QWidget* source) {
    event->accept(); // other buttons do nothing, and nothing reaches the window either
    if (event->button() != Qt::LeftButton) {
        return;
    }
    pressSource_ = source;
    leftPress();
}

void TImageControl::handleRelease(QMouseEvent* event, QWidget* source) {
    event->accept();
    // The widget that took the press keeps the mouse, so the release of that
    // press comes through it wherever the pointer is now.
    if (event->button() != Qt::LeftButton || source != pressSource_) {
        return;
    }
    const bool over = source->rect().contains(event->position().toPoint());
    pressSource_.clear();
    leftRelease(over);
}

} // namespace velmora::ui
