#include "ui/skin_widgets.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

#include "ui/skin_palette.h"

namespace velmora::ui {

namespace {

class Eliding : public QComboBox {
  public:
    explicit Eliding(QWidget* parent) : QComboBox(parent) {
        connect(this, &QComboBox::currentTextChanged, this, [this] { FollowText(); });
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        option.currentText = Shown(option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
    void resizeEvent(QResizeEvent* event) override {
        QComboBox::resizeEvent(event);
        FollowText();
    }

  private:
    QString Shown(const QStyleOptionComboBox& option) const {
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, this);
        return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, field.width());
    }
    void FollowText() {
        QStyleOptionComboBox option;
        initStyleOption(&option);
        setToolTip(Shown(option) != currentText() ? currentText() : QString());
    }
};

} // namespace

void SetElidedText(QLabel* label, const QString& text, const QString& name) {
    const QFontMetrics metrics = label->fontMetrics();
    const int width = label->width();
    if (metrics.horizontalAdvance(text) <= width || name.isEmpty() || !text.contains(name)) {
        label->setText(metrics.horizontalAdvance(text) <= width
                           ? text
                           : metrics.elidedText(text, Qt::ElideMiddle, width));
        label->setToolTip(label->text() == text ? QString() : text);
        return;
    }
    const int room = width - (metrics.horizontalAdvance(text) - metrics.horizontalAdvance(name));
    QString shown = text;
    shown.replace(name, metrics.elidedText(name, Qt::ElideMiddle, std::max(room, 24)));
    if (metrics.horizontalAdvance(shown) > width) {
        shown = metrics.elidedText(shown, Qt::ElideMiddle, width);
    }
    label->setText(shown);
    label->setToolTip(text);
}

QComboBox* SkinList(QWidget* parent, int x, int y, int width) {
    auto* c = new Eliding(parent);
    c->setFont(skin::CaptionFont(false));
    c->setStyleSheet(QStringLiteral(
        "QComboBox, QComboBox QAbstractItemView { background: rgb(0, 48, 0); color: rgb(2, 160, "
        "0); selection-background-color: rgb(0, 112, 0); selection-color: black; }"));
    c->setGeometry(x, y, width, 21);
    c->setMaxVisibleItems(16);
    return c;
}

QLabel* SkinBand(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    auto* l = new QLabel(text, parent);
    l->setFont(skin::CaptionFont(true));
    l->setAlignment(Qt::AlignCenter);
    l->setStyleSheet(QStringLiteral("color: black; background: rgb(0, 112, 0);"));
    l->setGeometry(x, y, width, height);
    return l;
}

} // namespace velmora::ui
