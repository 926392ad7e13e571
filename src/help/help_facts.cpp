#include "help/help_facts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSysInfo>
#include <QtHelp/qthelpversion.h>

#ifdef Q_OS_WIN
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "help/version_names.h"
#endif

namespace velmora::help {
namespace {

QString YesNo(bool flag) {
    return flag ? QStringLiteral("YES") : QStringLiteral("NO");
}

#ifdef Q_OS_WIN
// The file version record of a file in the system folder; nothing when the
// file or its record is missing.
std::optional<FileVersion> SystemFileVersion(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::nullopt;
    }
    const std::wstring path = std::wstring(folder) + L"\\" + name;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
        info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return FileVersion{static_cast<int>(HIWORD(info->dwFileVersionMS)),
                       static_cast<int>(LOWORD(info->dwFileVersionMS)),
                       static_cast<int>(HIWORD(info->dwFileVersionLS)),
                       static_cast<int>(LOWORD(info->dwFileVersionLS))};
}

QString Hex4(unsigned value) {
    return QStringLiteral("\t0x") + QString::number(value, 16).toUpper().rightJustified(4, '0');
}

void AddWindowsFacts(HelpFacts& facts) {
    const LCID lcid = GetSystemDefaultLCID();
    facts.defaultLocale = Hex4(lcid & 0xFFFF);
    facts.primaryLanguage = Hex4(PRIMARYLANGID(LANGIDFROMLCID(lcid)));
    facts.subLanguage = Hex4(SUBLANGID(LANGIDFROMLCID(lcid)));
    if (const auto hh = SystemFileVersion(L"hhctrl.ocx")) {
        facts.platformLines << QStringLiteral("!_winHhVerStr =      ") +
                                   QString::fromStdString(VersionText(*hh)) + QStringLiteral(" (") +
                                   QString::fromStdString(HtmlHelpFriendlyName(*hh)) + ')';
    }
    if (const auto ie = SystemFileVersion(L"shdocvw.dll")) {
        const FileVersion v = NormalizeBrowserControlVersion(*ie);
        facts.platformLines << QStringLiteral("!_winIeVerStr =      ") +
                                   QString::fromStdString(VersionText(v)) + QStringLiteral(" (") +
                                   QString::fromStdString(BrowserControlFriendlyName(v)) + ')';
    }
}
#endif

} // namespace

bool QtHelpAvailable() {
    return QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"));
}

void ParseKernelVersion(const QString& text, int& major, int& minor, int& build) {
    major = minor = build = 0;
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = numbers.match(text);
    if (m.hasMatch()) {
        major = m.captured(1).toInt();
        minor = m.captured(2).toInt();
        build = m.captured(3).toInt();
    }
}

HelpFacts GatherHelpFacts() {
    HelpFacts f;
    f.date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    f.osName = QSysInfo::prettyProductName();
    ParseKernelVersion(QSysInfo::kernelVersion(), f.osMajor, f.osMinor, f.osBuild);
    const QLocale locale = QLocale::system();
    f.defaultLocale = QStringLiteral("\t") + locale.name();
    f.primaryLanguage = QStringLiteral("\t") + QLocale::languageToString(locale.language());
    f.subLanguage = QStringLiteral("\t") + QLocale::territoryToString(locale.territory());
    f.decimalSeparator = locale.decimalPoint();
    const QStringList arguments = QCoreApplication::arguments();
    f.exePath = arguments.isEmpty() ? QString() : arguments.first();
    f.parameters = arguments.mid(1);
    f.runDir = QDir::currentPath();
    f.moduleName = QCoreApplication::applicationFilePath();
    f.moduleDir = QCoreApplication::applicationDirPath();
    f.viewerInstalled = QtHelpAvailable();
    f.viewerVersion = QStringLiteral(QTHELP_VERSION_STR);
    f.viewerFriendlyVersion = QStringLiteral("Qt Help ") + f.viewerVersion;
    f.browserInstalled = true; // QTextBrowser is part of Qt Widgets
    f.browserVersion = QString::fromLatin1(qVersion());
    f.browserFriendlyVersion = QStringLiteral("QTextBrowser (Qt ") + f.browserVersion + ')';
#ifdef Q_OS_WIN
    AddWindowsFacts(f);
#endif
    return f;
}

QStringList HeaderLines(const QString& logFile, const HelpFacts& f) {
    QStringList lines;
    lines << QStringLiteral("!Filename:             ") + logFile
          << QStringLiteral("!Date:                 ") + f.date
          << QStringLiteral("!Operating System:      \t") + f.osName + QLatin1Char(' ') +
                 QString::number(f.osMajor) + QLatin1Char('.') + QString::number(f.osMinor) +
                 QLatin1Char('.') + QString::number(f.osBuild)
          << QStringLiteral("!SysLocale.DefaultLCID: ") + f.defaultLocale
          << QStringLiteral("!SysLocale.PriLangID:   ") + f.primaryLanguage
          << QStringLiteral("!SysLocale.SubLangID:   ") + f.subLanguage
          << QStringLiteral("!DecimalSeparator:      ") + f.decimalSeparator << QStringLiteral("-")
          << QStringLiteral("!EXE Path =          ") + f.exePath
          << QStringLiteral("!Cmdline Param(s) =  ") + f.parameters.join(QStringLiteral(" | "))
          << QStringLiteral("!_RunDir =           ") + f.runDir
          << QStringLiteral("!_ModuleName =       ") + f.moduleName
          << QStringLiteral("!_ModuleDir =        ") + f.moduleDir << QStringLiteral("-")
          << QStringLiteral("!_hhInstalled =      ") + YesNo(f.viewerInstalled)
          << QStringLiteral("!_hhVerStr =         ") + f.viewerVersion
          << QStringLiteral("!_hhFriendlyVerStr = ") + f.viewerFriendlyVersion
          << QStringLiteral("-")
          << QStringLiteral("!_ieInstalled =      ") + YesNo(f.browserInstalled)
          << QStringLiteral("!_ieVerStr =         ") + f.browserVersion
          << QStringLiteral("!_ieFriendlyVerStr = ") + f.browserFriendlyVersion;
    lines << f.platformLines;
    lines << QStringLiteral("=");
    return lines;
}

} // namespace velmora::help
