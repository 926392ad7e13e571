#include "ui/skin_widgets.h"

#include "ui/skin_palette.h"

namespace velmora::ui {

QComboBox* SkinList(QWidget* parent, int x, int y, int width) {
    auto* c = new QComboBox(parent);
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
