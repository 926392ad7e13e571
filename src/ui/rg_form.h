// The skin picture store: a window that is never shown and only holds the
// pictures the secondary windows copy when they are created.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace velmora::ui {

class TRGForm : public QWidget {
    Q_OBJECT
  public:
    explicit TRGForm(QWidget* parent = nullptr);

    const QPixmap& imgBG() const { return imgBG_; }                 // 439 x 157
    const QPixmap& ImgWinStatus() const { return imgWinStatus_; }   // 387 x 33
    const QPixmap& ImgWinStatus2() const { return imgWinStatus2_; } // 387 x 56
    const QPixmap& ImgButOff() const { return imgButOff_; }         // 35 x 14, released
    const QPixmap& ImgButOn() const { return imgButOn_; }           // 35 x 14, pressed

    // The store stays hidden whatever is asked of it.
    void setVisible(bool visible) override;

  private:
    QPixmap imgBG_;
    QPixmap imgWinStatus_;
    QPixmap imgWinStatus2_;
    QPixmap imgButOff_;
    QPixmap imgButOn_;
};

// The one store, created on first use.
TRGForm& RGForm();

} // namespace velmora::ui
