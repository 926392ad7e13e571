// Where the program's help file lies and which one it takes. There is one
// file per language; the user's language picks it, and the other one stands
// in when it is missing. Each is looked for beside the program (a build
// tree, or a program copied to a folder of its own), else in the data folder
// of an installed program (PREFIX/bin/velmora and PREFIX/share/velmora/).
#pragma once

#include <QString>

namespace velmora::help {

enum class HelpLanguage { French, English };

inline const QString kFrenchHelpFileName = QStringLiteral("VelmoraFr.qch");
inline const QString kEnglishHelpFileName = QStringLiteral("VelmoraEn.qch");

QString HelpFileName(HelpLanguage language);

// The language of the user's messages, read as the C library reads it: the
// first of LC_ALL, LC_MESSAGES and LANG that is not empty. French when it
// starts with "fr", English otherwise; with none set, the system's locale.
HelpLanguage UserHelpLanguage(const QString& lcAll, const QString& lcMessages, const QString& lang);
// The same from this process's environment.
HelpLanguage UserHelpLanguage();

// The installed data folder for a program in `programFolder`:
// programFolder/../share/velmora.
QString InstalledDataFolder(const QString& programFolder);

// Whether `programFolder` is the bin folder of an installation: named bin,
// beside share/velmora.
bool IsInstalledProgramFolder(const QString& programFolder);

// The help file in `language`: beside the program when it is there, else in
// the installed data folder when it is there; else the other language's file,
// looked for the same way; else the path beside the program (which a help
// request then reports as missing).
QString FindHelpFile(const QString& programFolder, HelpLanguage language);
// The same in the user's language.
QString FindHelpFile(const QString& programFolder);

} // namespace velmora::help
