#include "ui/caption_label.h"

#include <QMouseEvent>

#include "ui/image_control.h"
#include "ui/skin_palette.h"

namespace velmora::ui {

TCaptionLabel::TCaptionLabel(const QString& text, Style style, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setFont(skin::CaptionFont());
    setStyle(style);
    setText(text);
    adjustSize();
}

void TCaptionLabel::setStyle(Style style) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText,
                     style == Style::Led ? skin::Green() : skin::CaptionGrey());
    setPalette(colours);
}

void TCaptionLabel::setControl(TImageControl* control) {
    control_ = control;
    updateCursor();
}

void TCaptionLabel::setForwarding(bool forward) {
    forward_ = forward;
    updateCursor();
}

void TCaptionLabel::updateCursor() {
    if (forwards()) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void TCaptionLabel::mousePressEvent(QMouseEvent* event) {
    if (!forwards()) {
        QLabel::mousePressEvent(event);
        return;
    }
    control_->handlePress(event, this);
}

void TCaptionLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!forwards()) {
        QLabel::mouseDoubleClickEvent(event);
        return;
    }
    control_->handlePress(event, this);
}

void TCaptionLabel::mouseReleaseEvent(QMouseEvent* event) {
    // A release whose press came through here goes to the control even if
    // forwarding was turned off meanwhile, so the control is never left pressed.
    if (control_.isNull()) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    control_->handleRelease(event, this);
}

} // namespace velmora::ui
