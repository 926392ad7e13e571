// The caption beside a picture control: transparent, 8-point sans, light grey
// for buttons or green for LED check boxes. A caption that belongs to a
// control passes the same mouse presses and releases to it, so pressing the
// caption acts exactly like pressing the picture. A caption with no control,
// or with forwarding turned off, does not react to the mouse.
#pragma once

#include <QLabel>
#include <QPointer>

namespace velmora::ui {

class TImageControl;

class TCaptionLabel : public QLabel {
    Q_OBJECT
  public:
    enum class Style { Button, Led };

    explicit TCaptionLabel(const QString& text = {}, Style style = Style::Button,
                           QWidget* parent = nullptr);

    void setStyle(Style style);

    void setControl(TImageControl* control);
    TImageControl* control() const { return control_; }

    void setForwarding(bool forward);
    bool forwards() const { return forward_ && !control_.isNull(); }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void updateCursor();

    QPointer<TImageControl> control_;
    bool forward_ = true;
};

} // namespace velmora::ui
