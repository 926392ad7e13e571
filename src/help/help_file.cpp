#include "help/help_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace velmora::help {
namespace {

// The file of `name` beside the program or in the installed data folder;
// empty when it is in neither.
QString Existing(const QString& programFolder, const QString& name) {
    for (const QString& folder : {programFolder, InstalledDataFolder(programFolder)}) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return {};
}

} // namespace

QString HelpFileName(HelpLanguage language) {
    return language == HelpLanguage::French ? kFrenchHelpFileName : kEnglishHelpFileName;
}

HelpLanguage UserHelpLanguage(const QString& lcAll, const QString& lcMessages,
                              const QString& lang) {
    QString name;
    for (const QString& value : {lcAll, lcMessages, lang}) {
        if (!value.isEmpty()) {
            name = value;
            break;
        }
    }
    if (name.isEmpty()) {
        name = QLocale::system().name();
    }
    return name.startsWith(QStringLiteral("fr")) ? HelpLanguage::French : HelpLanguage::English;
}

HelpLanguage UserHelpLanguage() {
    return UserHelpLanguage(qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
                            qEnvironmentVariable("LANG"));
}

QString InstalledDataFolder(const QString& programFolder) {
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/velmora"));
}

bool IsInstalledProgramFolder(const QString& programFolder) {
    return QDir(programFolder).dirName() == QStringLiteral("bin") &&
           QFileInfo(InstalledDataFolder(programFolder)).isDir();
}

QString FindHelpFile(const QString& programFolder, HelpLanguage language) {
    const HelpLanguage other =
        language == HelpLanguage::French ? HelpLanguage::English : HelpLanguage::French;
    for (const HelpLanguage choice : {language, other}) {
        const QString found = Existing(programFolder, HelpFileName(choice));
        if (!found.isEmpty()) {
            return found;
        }
    }
    return QDir::cleanPath(programFolder + QLatin1Char('/') + HelpFileName(language));
}

QString FindHelpFile(const QString& programFolder) {
    return FindHelpFile(programFolder, UserHelpLanguage());
}

} // namespace velmora::help
