// A horizontal bar with a one-pixel border: dark green ground, green bar.
// It holds a minimum, a maximum and a progress value; the shown fraction is
// a whole percent, and the bar repaints only when that percent changes.
// Optionally the percent is written centred in the bar, inverting the colours
// beneath it.
#pragma once

#include <QWidget>

namespace velmora::ui {

class TGauge : public QWidget {
    Q_OBJECT
  public:
    explicit TGauge(QWidget* parent = nullptr);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    int progress() const { return progress_; }

    // A new minimum above the maximum raises the maximum with it, and the
    // other way round; the progress is kept within the range.
    void setMinValue(int value);
    void setMaxValue(int value);
    // Clamped to the range.
    void setProgress(int value);

    // trunc(100 * (progress - min) / (max - min)); 0 when max equals min.
    int percentDone() const;
    // Width of the filled part: trunc(inner width * percent / 100).
    int filledWidth() const;

    void setShowText(bool show);
    bool showText() const { return showText_; }
    QString percentText() const; // "%d%%"

    // Repaints asked for because the percent changed.
    int repaintRequests() const { return repaintRequests_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void change(int min, int max, int progress);

    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    bool showText_ = false;
    int repaintRequests_ = 0;
};

} // namespace velmora::ui
