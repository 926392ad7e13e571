#include "help/help_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QtHelp/qthelpversion.h>

#include "help/help_facts.h"

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::help {
namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList Lines(const QString& path) {
    QStringList lines = QString::fromUtf8(ReadFile(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

class HelpLogTest : public ::testing::Test {
  protected:
    // A module folder, a temporary folder and a fallback, all real folders.
    HelpLogTest() {
        for (const char* name : {"module", "temp", "fallback"}) {
            QDir(root.path()).mkdir(QString::fromLatin1(name));
        }
    }
    QString Module() const { return root.filePath(QStringLiteral("module")); }
    QString Temp() const { return root.filePath(QStringLiteral("temp")); }
    QString Fallback() const { return root.filePath(QStringLiteral("fallback")); }

    HelpLogSetup Setup(const QString& module, QStringList parameters = {"-debug"}) const {
        HelpLogSetup s;
        s.moduleFolder = module;
        s.tempFolder = Temp();
        s.fallbackFolder = Fallback();
        s.parameters = std::move(parameters);
        s.clock = [] { return QTime(21, 5, 9); };
        return s;
    }

    QTemporaryDir root;
};

TEST_F(HelpLogTest, TheModuleFolderWhenAProbeCanBeMadeThere) {
    EXPECT_EQ(HelpLog::ChooseFolder(Module(), Temp(), Fallback()), Module());
    // Trailing separators go.
    EXPECT_EQ(HelpLog::ChooseFolder(Module() + "//", Temp(), Fallback()), Module());
    // The probe does not stay behind.
    EXPECT_FALSE(QFile::exists(QDir(Module()).filePath(kProbeFileName)));
}

TEST_F(HelpLogTest, AProbeLeftBehindIsReplaced) {
    WriteFile(QDir(Module()).filePath(kProbeFileName), "left by a killed program");
    EXPECT_EQ(HelpLog::ChooseFolder(Module(), Temp(), Fallback()), Module());
    EXPECT_FALSE(QFile::exists(QDir(Module()).filePath(kProbeFileName)));
}

TEST_F(HelpLogTest, TheTemporaryFolderWhenTheModuleFolderCantBeWritten) {
    EXPECT_EQ(HelpLog::ChooseFolder(root.filePath("no-such-folder"), Temp(), Fallback()), Temp());
    EXPECT_EQ(HelpLog::ChooseFolder(QString(), Temp() + "/", Fallback()), Temp());
    if (::geteuid() != 0) { // root writes everywhere
        ASSERT_EQ(::chmod(QFile::encodeName(Module()).constData(), 0555), 0);
        EXPECT_EQ(HelpLog::ChooseFolder(Module(), Temp(), Fallback()), Temp());
        ::chmod(QFile::encodeName(Module()).constData(), 0755);
    }
}

TEST_F(HelpLogTest, AProbeNameThatIsALinkIsNotFollowed) {
    const QString victim = root.filePath(QStringLiteral("victim"));
    WriteFile(victim, "keep me");
    ASSERT_TRUE(QFile::link(victim, QDir(Module()).filePath(kProbeFileName)));
    EXPECT_EQ(HelpLog::ChooseFolder(Module(), Temp(), Fallback()), Temp());
    EXPECT_EQ(ReadFile(victim), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(QDir(Module()).filePath(kProbeFileName)).isSymLink());
}

TEST_F(HelpLogTest, TheFallbackWhenTheTemporaryPathIsNoFolder) {
    const QString notAFolder = root.filePath(QStringLiteral("file"));
    WriteFile(notAFolder, "x");
    EXPECT_EQ(HelpLog::ChooseFolder(root.filePath("no-such-folder"), notAFolder, Fallback()),
              Fallback());
    EXPECT_EQ(HelpLog::ChooseFolder(QString(), QString(), Fallback()), Fallback());
}

TEST_F(HelpLogTest, SwitchedOnByTheFileOrByTheParameterInAnyCase) {
    EXPECT_FALSE(HelpLog::SwitchedOn(Module(), {}));
    for (const char* on : {"/debug", "-debug", "-DEBUG", "/Debug"}) {
        EXPECT_TRUE(HelpLog::SwitchedOn(Module(), {"--demo", QString::fromLatin1(on)})) << on;
    }
    for (const char* off : {"debug", "--debug", "-debug=1", "/debugging", " -debug"}) {
        EXPECT_FALSE(HelpLog::SwitchedOn(Module(), {QString::fromLatin1(off)})) << off;
    }
    WriteFile(QDir(Module()).filePath(kDebugSwitchFileName), "");
    EXPECT_TRUE(HelpLog::SwitchedOn(Module(), {}));
}

TEST(HelpLogFormat, RowsBangLinesAndTimedLines) {
    const QTime now(9, 8, 7);
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("-"), now), QString(80, '-'));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("="), now), QString(80, '='));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("!_hhInstalled =      YES"), now),
              QStringLiteral("_hhInstalled =      YES"));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("-- note"), now), QStringLiteral("- note"));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("=x"), now), QStringLiteral("x"));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("THookHelpSystem.Destroy"), now),
              QStringLiteral("THookHelpSystem.Destroy   09:08:07"));
    EXPECT_EQ(HelpLog::FormatLine(QStringLiteral("  returned - 0"), now),
              QStringLiteral("  returned - 0   09:08:07"));
    EXPECT_EQ(HelpLog::FormatLine(QString(), now), QStringLiteral("   09:08:07"));
}

TEST_F(HelpLogTest, WritesLinesOnlyWhenSwitchedOn) {
    HelpLog off(Setup(Module(), {}));
    EXPECT_FALSE(off.Enabled());
    off.Log(QStringLiteral("nothing"));
    EXPECT_FALSE(QFile::exists(off.FilePath()));

    HelpLog on(Setup(Module()));
    ASSERT_TRUE(on.Enabled());
    EXPECT_EQ(on.FilePath(), QDir(Module()).filePath(QStringLiteral("HHDebug.txt")));
    on.Log(QStringLiteral("first"));
    on.Log(QStringLiteral("-"));
    on.Log(QStringLiteral("!second"));
    EXPECT_EQ(Lines(on.FilePath()), QStringList({"first   21:05:09", QString(80, '-'), "second"}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(on.FilePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// An installed program's log goes to the user's state folder, made private
// when the log is on, and never beside the program, writable or not.
TEST_F(HelpLogTest, AnInstalledProgramLogsInTheUserStateFolder) {
    EXPECT_EQ(HelpLog::UserStateFolder("/xdg/state", "/home/ann"), "/xdg/state/Velmora");
    EXPECT_EQ(HelpLog::UserStateFolder("", "/home/ann"), "/home/ann/.local/state/Velmora");
    EXPECT_EQ(HelpLog::UserStateFolder("relative/state", "/home/ann"),
              "/home/ann/.local/state/Velmora"); // only an absolute path counts

    const QString state = root.filePath(QStringLiteral("state/Velmora"));
    HelpLogSetup off = Setup(Module(), {});
    off.stateFolder = state;
    WriteFile(QDir(Temp()).filePath(kLogFileName), "someone else's\n");
    EXPECT_EQ(HelpLog(off).Folder(), state);
    EXPECT_FALSE(QFileInfo::exists(state)); // a log that is off makes no folder
    EXPECT_TRUE(QFile::exists(QDir(Temp()).filePath(kLogFileName))); // nor touches another

    HelpLogSetup setup = Setup(Module());
    setup.stateFolder = state;
    HelpLog on(setup);
    EXPECT_EQ(on.Folder(), state);
    on.Log(QStringLiteral("here"));
    EXPECT_EQ(Lines(QDir(state).filePath(kLogFileName)), QStringList({"here   21:05:09"}));
    EXPECT_FALSE(QFile::exists(QDir(Module()).filePath(kLogFileName)));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(state).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A state folder that can't be made leaves the log to the temporary folder.
    WriteFile(root.filePath(QStringLiteral("file")), "not a folder\n");
    setup.stateFolder = root.filePath(QStringLiteral("file/Velmora"));
    EXPECT_EQ(HelpLog(setup).Folder(), Temp());
}

TEST_F(HelpLogTest, AnOldLogIsDeletedAtStartEvenWhenSwitchedOff) {
    const QString old = QDir(Module()).filePath(kLogFileName);
    WriteFile(old, "yesterday\n");
    HelpLog off(Setup(Module(), {}));
    EXPECT_FALSE(QFile::exists(old));

    WriteFile(old, "yesterday\n");
    HelpLog on(Setup(Module()));
    on.Log(QStringLiteral("today"));
    EXPECT_EQ(Lines(old), QStringList({"today   21:05:09"}));
}

TEST_F(HelpLogTest, APlantedLinkInTheTemporaryFolderIsNeitherFollowedNorDeleted) {
    // Another user's trap: HHDebug.txt in a shared temporary folder pointing
    // at a file of ours.
    const QString victim = root.filePath(QStringLiteral("victim.txt"));
    WriteFile(victim, "precious\n");
    const QString planted = QDir(Temp()).filePath(kLogFileName);
    ASSERT_TRUE(QFile::link(victim, planted));

    HelpLog log(Setup(root.filePath(QStringLiteral("no-such-module"))));
    ASSERT_EQ(log.FilePath(), planted);
    log.Log(QStringLiteral("THookHelpSystem.Create(\"a\",\"\", 0)"));
    log.WriteHeader(HelpFacts{});

    EXPECT_EQ(ReadFile(victim), QByteArray("precious\n"));
    EXPECT_TRUE(QFileInfo(planted).isSymLink());
    EXPECT_TRUE(QFile::exists(victim));
}

TEST_F(HelpLogTest, ALinkToAMissingFileCreatesNothing) {
    const QString target = root.filePath(QStringLiteral("created-through-link"));
    ASSERT_TRUE(QFile::link(target, QDir(Temp()).filePath(kLogFileName)));
    HelpLog log(Setup(root.filePath(QStringLiteral("no-such-module"))));
    log.Log(QStringLiteral("x"));
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(HelpLogTest, AHardLinkAFifoOrAFolderIsNotWrittenTo) {
    const QString victim = root.filePath(QStringLiteral("victim.txt"));
    WriteFile(victim, "precious\n");
    const QString logPath = QDir(Temp()).filePath(kLogFileName);
    ASSERT_EQ(::link(QFile::encodeName(victim).constData(), QFile::encodeName(logPath).constData()),
              0);
    EXPECT_FALSE(AppendToOwnFile(logPath, "line\n"));
    EXPECT_EQ(ReadFile(victim), QByteArray("precious\n"));

    const QString fifo = QDir(Temp()).filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(AppendToOwnFile(fifo, "line\n")); // and does not wait for a reader
    DeleteRegularFile(fifo);
    EXPECT_TRUE(QFileInfo::exists(fifo));

    EXPECT_FALSE(AppendToOwnFile(Fallback(), "line\n"));
    DeleteRegularFile(Fallback());
    EXPECT_TRUE(QFileInfo(Fallback()).isDir());
}

TEST(HelpLogHeader, LinesInOrderWithTheirLabels) {
    HelpFacts f;
    f.date = "2024-05-01 10:00:00";
    f.osName = "Debian GNU/Linux 12 (bookworm)";
    f.osMajor = 6;
    f.osMinor = 1;
    f.osBuild = 0;
    f.defaultLocale = "\tfr_FR";
    f.primaryLanguage = "\tFrench";
    f.subLanguage = "\tFrance";
    f.decimalSeparator = ",";
    f.exePath = "/usr/bin/velmora";
    f.parameters = QStringList{"--demo", "-debug"};
    f.runDir = "/home/ann";
    f.moduleName = "/usr/bin/velmora";
    f.moduleDir = "/usr/bin";
    f.viewerInstalled = true;
    f.viewerVersion = "6.4.2";
    f.viewerFriendlyVersion = "Qt Help 6.4.2";
    f.browserInstalled = false;
    f.browserVersion = "6.4.2";
    f.browserFriendlyVersion = "QTextBrowser (Qt 6.4.2)";
    const QStringList expected{
        "!Filename:             /tmp/HHDebug.txt",
        "!Date:                 2024-05-01 10:00:00",
        "!Operating System:      \tDebian GNU/Linux 12 (bookworm) 6.1.0",
        "!SysLocale.DefaultLCID: \tfr_FR",
        "!SysLocale.PriLangID:   \tFrench",
        "!SysLocale.SubLangID:   \tFrance",
        "!DecimalSeparator:      ,",
        "-",
        "!EXE Path =          /usr/bin/velmora",
        "!Cmdline Param(s) =  --demo | -debug",
        "!_RunDir =           /home/ann",
        "!_ModuleName =       /usr/bin/velmora",
        "!_ModuleDir =        /usr/bin",
        "-",
        "!_hhInstalled =      YES",
        "!_hhVerStr =         6.4.2",
        "!_hhFriendlyVerStr = Qt Help 6.4.2",
        "-",
        "!_ieInstalled =      NO",
        "!_ieVerStr =         6.4.2",
        "!_ieFriendlyVerStr = QTextBrowser (Qt 6.4.2)",
        "=",
    };
    EXPECT_EQ(HeaderLines("/tmp/HHDebug.txt", f), expected);
}

TEST_F(HelpLogTest, TheHeaderInTheFileHasNoTimesAndFullRows) {
    HelpLog log(Setup(Module()));
    log.WriteHeader(GatherHelpFacts());
    const QStringList lines = Lines(log.FilePath());
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines[0], QStringLiteral("Filename:             ") + log.FilePath());
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Operating System:      \t")));
    EXPECT_EQ(lines[7], QString(80, '-'));
    EXPECT_EQ(lines[14], QStringLiteral("_hhInstalled =      YES")); // SQLite is there
    EXPECT_EQ(lines[16], QStringLiteral("_hhFriendlyVerStr = Qt Help " QTHELP_VERSION_STR));
    EXPECT_EQ(lines[21], QString(80, '='));
}

TEST(KernelVersion, TakesTheLeadingNumbers) {
    int a, b, c;
    ParseKernelVersion(QStringLiteral("6.1.0-18-amd64"), a, b, c);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(6, 1, 0));
    ParseKernelVersion(QStringLiteral("10.0.19045"), a, b, c);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(10, 0, 19045));
    ParseKernelVersion(QStringLiteral("23.4"), a, b, c);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(23, 4, 0));
    ParseKernelVersion(QStringLiteral("unknown"), a, b, c);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(0, 0, 0));
}

} // namespace
} // namespace velmora::help
