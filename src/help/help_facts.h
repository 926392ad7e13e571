// Facts about the machine and the help's components for the header of the
// diagnostic log, gathered once.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora::help {

struct HelpFacts {
    QString date;
    QString osName; // the operating system's name, e.g. "Debian GNU/Linux 12 (bookworm)"
    int osMajor = 0, osMinor = 0, osBuild = 0;
    QString defaultLocale, primaryLanguage, subLanguage; // each behind a tab
    QString decimalSeparator;
    QString exePath; // the program as it was started
    QStringList parameters;
    QString runDir, moduleName, moduleDir;
    bool viewerInstalled = false; // Qt Help can work here
    QString viewerVersion, viewerFriendlyVersion;
    bool browserInstalled = false; // the page browser (QTextBrowser)
    QString browserVersion, browserFriendlyVersion;
    // Windows only: the system's own help and browser controls.
    QStringList platformLines;
};

// Whether Velmora's help viewer can work: Qt Help keeps its collection in
// SQLite and needs Qt's SQLite driver.
bool QtHelpAvailable();

// The facts of the running program and machine.
HelpFacts GatherHelpFacts();

// "1.2.3-arch" -> {1, 2, 3}; missing or unreadable parts are 0.
void ParseKernelVersion(const QString& text, int& major, int& minor, int& build);

// The header lines of the log, each beginning with "!" (or a row "-"/"=").
QStringList HeaderLines(const QString& logFile, const HelpFacts& facts);

} // namespace velmora::help
