#include "help/help_file.h"

#include <QDir>
#include <QFileInfo>

namespace velmora::help {

QString InstalledDataFolder(const QString& programFolder) {
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/velmora"));
}

QString FindHelpFile(const QString& programFolder) {
    const QString beside = QDir::cleanPath(programFolder + QLatin1Char('/') + kHelpFileName);
    if (QFileInfo(beside).isFile()) {
        return beside;
    }
    const QString installed = InstalledDataFolder(programFolder) + QLatin1Char('/') + kHelpFileName;
    if (QFileInfo(installed).isFile()) {
        return installed;
    }
    return beside;
}

} // namespace velmora::help
