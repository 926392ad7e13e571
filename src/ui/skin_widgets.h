// Standard widgets dressed in the skin: the dark green drop-down lists and
// the header bands with bold black text that the windows share.
#pragma once

#include <QComboBox>
#include <QLabel>

namespace velmora::ui {

// A drop-down list: dark green (0, 48, 0) with green text (2, 160, 0).
QComboBox* SkinList(QWidget* parent, int x, int y, int width);

// A header band: bold black text centred on dark green (0, 112, 0).
QLabel* SkinBand(QWidget* parent, const QString& text, int x, int y, int width, int height = 13);

} // namespace velmora::ui
