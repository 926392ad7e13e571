#include "help/help_results.h"

#include <QDir>

namespace velmora::help {

QString HelpErrorText(int result, const QString& helpFile) {
    switch (result) {
    case kNoHelpViewer:
        return QStringLiteral("MS Html Help is not installed on this PC.");
    case kKeyHHMissing:
        return QStringLiteral("System file KeyHH.EXE was not found in the Windows folder.");
    case kHHMissing:
        return QStringLiteral("System file HH.EXE was not found in the Windows folder.");
    case kHelpFileMissing:
        return QStringLiteral("The help file \"") + QDir::toNativeSeparators(helpFile) +
               QStringLiteral("\" was not found. Velmora looks for it beside the program, then "
                              "in the share/velmora folder of its installation.");
    case kHelpFileUnreadable:
        return QStringLiteral("The help file \"") + QDir::toNativeSeparators(helpFile) +
               QStringLiteral("\" can't be read: it is damaged or is not a Velmora help file.");
    default:
        return QStringLiteral("Unknown error returned by HHHelpContext");
    }
}

} // namespace velmora::help
