#include "ui/from_core.h"

#include "core/cp1252.h"

namespace velmora::ui {

QString FromCore(const std::string& text) {
    const std::string utf8 = Cp1252ToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCore(const QString& text) {
    return Utf8ToCp1252(text.toStdString());
}

} // namespace velmora::ui
