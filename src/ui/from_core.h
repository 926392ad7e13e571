// The window boundary for texts: the core keeps single-byte Windows-1252
// strings, the windows show QStrings.
#pragma once

#include <QString>
#include <string>

namespace velmora::ui {

QString FromCore(const std::string& text);
std::string ToCore(const QString& text);

} // namespace velmora::ui
