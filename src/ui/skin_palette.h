// The colours and caption font every Velmora window shares: a dark ground,
// green accents and light grey captions.
#pragma once

#include <QColor>
#include <QFont>

namespace velmora::ui::skin {

inline QColor Green() {
    return {32, 160, 0};
} // accents, bars, LED captions
inline QColor DarkGreen() {
    return {0, 80, 0};
} // frames, bar background
inline QColor CaptionGrey() {
    return {224, 224, 224};
} // button captions
inline QColor LinkBlue() {
    return {0, 96, 255};
} // a link under the pointer
inline QColor Ground() {
    return {8, 10, 8};
} // window background
inline QColor WarningRed() {
    return {255, 60, 60};
} // warnings and counts of lost input

// The 8-point sans-serif face of captions and small texts.
QFont CaptionFont(bool bold = false);

} // namespace velmora::ui::skin
