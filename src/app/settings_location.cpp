#include "app/settings_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace velmora {

bool IsFolderWritable(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return false;
    }
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".velmora-write-test-XXXXXX")));
    return probe.open();
}

bool IsInstalledProgramFolder(const QString& programFolder) {
    const QDir folder(programFolder);
    return folder.dirName() == QStringLiteral("bin") &&
           QFileInfo(folder.filePath(QStringLiteral("../share/velmora"))).isDir();
}

SettingsPaths ChooseSettingsPaths(const QString& programFolder, const QString& configFolder) {
    const QString besideProgram = QDir(programFolder).filePath(kSettingsFileName);
    const QString inConfig = QDir(configFolder).filePath(kSettingsFileName);

    SettingsPaths paths;
    if (IsFolderWritable(programFolder) && !IsInstalledProgramFolder(programFolder)) {
        paths.writePath = besideProgram;
    } else {
        QDir().mkpath(configFolder); // a failure shows when the file is written
        paths.writePath = inConfig;
    }
    const QString other = paths.writePath == besideProgram ? inConfig : besideProgram;
    if (QFileInfo::exists(paths.writePath) || !QFileInfo::exists(other)) {
        paths.readPath = paths.writePath;
    } else {
        paths.readPath = other;
    }
    return paths;
}

SettingsPaths SettingsPathsForThisProgram() {
    return ChooseSettingsPaths(QCoreApplication::applicationDirPath(),
                               QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

SettingsPaths DemoSettingsPaths(const SettingsPaths& paths) {
    const QString demo = QFileInfo(paths.writePath).dir().filePath(kDemoSettingsFileName);
    return {demo, demo};
}

std::filesystem::path ToFilesystemPath(const QString& path) {
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    const QByteArray native = QFile::encodeName(path);
    return std::filesystem::path(std::string(native.constData(), native.size()));
#endif
}

} // namespace velmora
