// One line of warning text with a small close button, laid over a window's
// free edge. It shows what it is given and says when the user closes it;
// which warning to show is the caller's business.
#pragma once

#include <QLabel>
#include <QToolButton>
#include <QWidget>

namespace velmora::ui {

class TWarningLine : public QWidget {
    Q_OBJECT
  public:
    explicit TWarningLine(QWidget* parent = nullptr);

    // Shows `text` (elided to fit, whole in the tooltip); hides for "".
    void setText(const QString& text);
    QString text() const { return text_; }
    QToolButton* closeButton() const { return close_; }

  signals:
    // The close button was clicked.
    void dismissed();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Elide();

    QString text_;
    QLabel* label_;
    QToolButton* close_;
};

} // namespace velmora::ui
