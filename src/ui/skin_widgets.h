// Standard widgets dressed in the skin: the dark green drop-down lists and
// the header bands with bold black text that the windows share.
#pragma once

#include <QComboBox>
#include <QLabel>

namespace velmora::ui {

// A drop-down list: dark green (0, 48, 0) with green text (2, 160, 0).
// Closed, a name too long for it is shortened in the middle and shown whole
// in its tooltip.
QComboBox* SkinList(QWidget* parent, int x, int y, int width);

// Shows `text` in `label`; when it is too wide, `name` (a device name within
// it) is shortened in the middle so that the text fits, and the whole text
// goes to the tooltip.
void SetElidedText(QLabel* label, const QString& text, const QString& name);

// A header band: bold black text centred on dark green (0, 112, 0).
QLabel* SkinBand(QWidget* parent, const QString& text, int x, int y, int width, int height = 13);

} // namespace velmora::ui
