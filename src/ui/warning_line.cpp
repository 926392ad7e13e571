#include "ui/warning_line.h"

#include <QFontMetrics>
#include <QHBoxLayout>

#include "ui/skin_palette.h"

namespace velmora::ui {

TWarningLine::TWarningLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("WarningLine"));
    label_ = new QLabel(this);
    label_->setFont(skin::CaptionFont(true));
    label_->setStyleSheet(skin::LabelStyle(skin::WarningRed()));
    close_ = new QToolButton(this);
    close_->setObjectName(QStringLiteral("WarningClose"));
    close_->setText(QStringLiteral("\u00D7"));
    close_->setToolTip(QStringLiteral("Dismiss this warning (Esc)"));
    close_->setAutoRaise(true);
    close_->setFocusPolicy(Qt::NoFocus); // Esc dismisses too; the focus stays where it was
    close_->setFixedSize(16, 16);
    close_->setStyleSheet(QStringLiteral("color: %1; background: transparent; border: none;")
                              .arg(skin::CaptionGrey().name()));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(label_, 1);
    row->addWidget(close_);
    connect(close_, &QToolButton::clicked, this, &TWarningLine::dismissed);
    hide();
}

void TWarningLine::setText(const QString& text) {
    text_ = text;
    setToolTip(text);
    Elide();
    setVisible(!text.isEmpty());
    raise();
}

void TWarningLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Elide();
}

void TWarningLine::Elide() {
    const int room = std::max(0, width() - close_->width() - 12);
    label_->setText(QFontMetrics(label_->font()).elidedText(text_, Qt::ElideRight, room));
}

} // namespace velmora::ui
