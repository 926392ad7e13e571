// The colours and caption font every Velmora window shares: a dark ground,
// green accents and light grey captions.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

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
inline QColor NoticeAmber() {
    return {255, 200, 0};
} // a state the user should know of (thru off for a loop, paused)
inline QColor MonitorText() {
    return {0, 170, 55};
} // the monitors' text, the find bar's frame
inline QColor DetailsText() {
    return {0, 200, 70};
} // the details line, menu entries
inline QColor DoneGreen() {
    return {90, 230, 60};
} // a finished transfer
inline QColor ScrollGround() {
    return {0, 30, 0};
} // scroll bars' ground
inline QColor FindGround() {
    return {0, 30, 10};
} // the find bar's ground
inline QColor ScrollHandle() {
    return {0, 112, 0};
} // scroll bars' handles
inline QColor MenuFrame() {
    return {0, 110, 0};
} // the monitors' menus' frame
inline QColor Highlight() {
    return {0, 90, 30};
} // a chosen menu entry, a found line
inline QColor HighlightText() {
    return {170, 255, 170};
} // text on Highlight, the find bar's text

// The style sheet of a label: `colour` text on the window's ground.
inline QString LabelStyle(const QColor& colour) {
    return QStringLiteral("color: %1; background: transparent;").arg(colour.name());
}

// The 8-point sans-serif face of captions and small texts.
QFont CaptionFont(bool bold = false);

} // namespace velmora::ui::skin
