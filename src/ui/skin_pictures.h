// Velmora's skin artwork, drawn in code: window backgrounds, panel and status
// frames, button faces, LEDs and port switches. Pictures are drawn at the
// screen's pixel density (at least twice the logical size) so they stay crisp
// on ordinary and high-density screens; sizes below are logical pixels.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <functional>

class QPainter;

namespace velmora::ui::skin {

inline constexpr QSize kBackgroundSize{439, 157}; // imgBG
inline constexpr QSize kStatusSize{387, 33};      // ImgWinStatus
inline constexpr QSize kStatus2Size{387, 56};     // ImgWinStatus2
inline constexpr QSize kButtonFaceSize{35, 14};   // ImgButOff / ImgButOn
inline constexpr QSize kLedSize{9, 9};            // ImgLedOff / ImgLedOn
inline constexpr QSize kSwitchSize{34, 12};       // ImgOpenOff/On, ImgThruOff/On

// Device pixels per logical pixel of every skin picture.
qreal PictureScale();

// A transparent picture of `size` logical pixels, drawn by `draw` in logical
// coordinates over the rectangle (0, 0, size).
QPixmap PaintPicture(QSize size, const std::function<void(QPainter&, const QRect&)>& draw);

// Painters for windows and widgets of any size.
void PaintWindowBackground(QPainter& painter, const QRect& area);
void PaintPanelFrame(QPainter& painter, const QRect& area);
void PaintStatusFrame(QPainter& painter, const QRect& area);

// The pictures themselves.
QPixmap BackgroundPicture(QSize size = kBackgroundSize);
QPixmap StatusFramePicture(QSize size = kStatusSize);
QPixmap ButtonFacePicture(bool pressed);
QPixmap LedPicture(bool lit);
QPixmap OpenSwitchPicture(bool open);
QPixmap ThruSwitchPicture(bool on);

} // namespace velmora::ui::skin
