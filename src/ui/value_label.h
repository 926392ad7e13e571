// A one-line value shown centred and changed many times a second (the data
// monitor's rows). It is a QLabel, with a paint of its own: one line of
// plain text needs no text layout with line breaking, which is most of what
// a label costs to paint.
#pragma once

#include <QLabel>

namespace velmora::ui {

class TValueLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TValueLabel(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace velmora::ui
