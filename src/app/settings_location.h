// Where "Velmora.ini" lives: beside the program when its folder can be
// written, otherwise in the user's configuration folder (an installed
// program). It is read from where it was last written.
#pragma once

#include <QString>
#include <filesystem>

namespace velmora {

inline const QString kSettingsFileName = QStringLiteral("Velmora.ini");
// The demo's own settings, kept apart so that trying the demo never changes
// the user's devices and preferences, and starts on the demo's devices.
inline const QString kDemoSettingsFileName = QStringLiteral("VelmoraDemo.ini");

struct SettingsPaths {
    QString readPath;  // LoadParam
    QString writePath; // SaveParam
};

// Whether a file can be created in `folder` (tried, not guessed from
// permission bits).
bool IsFolderWritable(const QString& folder);

// Whether `programFolder` is the bin folder of an installation: PREFIX/bin
// beside PREFIX/share/velmora. Such a program keeps its settings in the
// configuration folder even when it may write to bin (root, or a prefix of
// the user's own).
bool IsInstalledProgramFolder(const QString& programFolder);

// The choice for a program in `programFolder` with the user configuration
// folder `configFolder`. Writing: the program folder when it can be written
// and is not an installation's, else the configuration folder, created if
// needed. Reading: the file where
// it is written if it exists there, else the other one if that exists
// (a file beside a read-only program, or one written before the program
// folder became writable), else where it will be written.
SettingsPaths ChooseSettingsPaths(const QString& programFolder, const QString& configFolder);

// The choice for this program: QCoreApplication::applicationDirPath() and
// QStandardPaths::AppConfigLocation.
SettingsPaths SettingsPathsForThisProgram();

// The demo's settings file, read and written in the folder where `paths`
// writes.
SettingsPaths DemoSettingsPaths(const SettingsPaths& paths);

// A Qt path as a std::filesystem path, for the core's file functions.
std::filesystem::path ToFilesystemPath(const QString& path);

} // namespace velmora
