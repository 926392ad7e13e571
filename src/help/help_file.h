// Where the program's help file lies: beside the program (a build tree, or a
// program copied to a folder of its own), else in the data folder of an
// installed program (PREFIX/bin/velmora and PREFIX/share/velmora/).
#pragma once

#include <QString>

namespace velmora::help {

inline const QString kHelpFileName = QStringLiteral("VelmoraFr.qch");

// The installed data folder for a program in `programFolder`:
// programFolder/../share/velmora.
QString InstalledDataFolder(const QString& programFolder);

// The help file beside the program when it is there, else the one in the
// installed data folder when that is there, else the path beside the program
// (which a help request then reports as missing).
QString FindHelpFile(const QString& programFolder);

} // namespace velmora::help
