// `cmake --install` into a temporary prefix: the programs, the help file, the
// desktop entry and the icon land where a Linux desktop looks, and the
// installed program starts, finds its help file and keeps its settings in the
// user's configuration folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>

#include "app/settings_location.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/virtual_display.h"

#include <csignal>
#include <cstdlib>

namespace velmora {
namespace {

using namespace std::chrono_literals;

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class InstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        prefix = new QTemporaryDir;
        testing::ChildProcess install({VELMORA_CMAKE, "--install", VELMORA_BUILD_DIR, "--prefix",
                                       prefix->path().toStdString()});
        installStatus = install.Wait(120s);
        installOutput = install.Output() + install.Errors();
    }
    static void TearDownTestSuite() {
        delete prefix;
        prefix = nullptr;
    }
    void SetUp() override { ASSERT_EQ(installStatus, 0) << installOutput; }

    static QString Path(const char* relative) {
        return QDir(prefix->path()).filePath(QString::fromLatin1(relative));
    }

    static inline QTemporaryDir* prefix = nullptr;
    static inline int installStatus = -1;
    static inline std::string installOutput;
};

TEST_F(InstallTest, ProgramsHelpFileDesktopEntryAndIcon) {
    for (const char* program : {"bin/velmora", "bin/velmora-cli"}) {
        const QFileInfo info(Path(program));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    const QFileInfo help(Path("share/velmora/VelmoraFr.qch"));
    EXPECT_TRUE(help.isFile());
    EXPECT_GT(help.size(), 10000);

    const QString entry = ReadText(Path("share/applications/velmora.desktop"));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    for (const char* line : {"\nType=Application\n", "\nName=Velmora\n", "\nExec=velmora\n",
                             "\nIcon=velmora\n", "\nTerminal=false\n"}) {
        EXPECT_TRUE(entry.contains(QString::fromLatin1(line))) << line;
    }
    EXPECT_TRUE(entry.contains(QStringLiteral("\nCategories=AudioVideo;Audio;Midi;")));

    const QString icon = ReadText(Path("share/icons/hicolor/scalable/apps/velmora.svg"));
    EXPECT_TRUE(icon.contains(QStringLiteral("<svg")));
}

TEST_F(InstallTest, TheInstalledCompanionRuns) {
    testing::ChildProcess cli({Path("bin/velmora-cli").toStdString(), "decode", "90", "3C", "64"});
    EXPECT_EQ(cli.Wait(60s), 0);
    EXPECT_NE(cli.Output().find("Note On"), std::string::npos) << cli.Output();
    EXPECT_NE(cli.Output().find("C3 (do3)"), std::string::npos);
}

TEST_F(InstallTest, TheInstalledProgramStartsAndFindsItsHelpFile) {
    QTemporaryDir config;
    // On an X server of its own its window can be seen; without one, offscreen.
    testing::VirtualDisplay display;
    if (display.Running()) {
        ::unsetenv("QT_QPA_PLATFORM");
    } else {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    // The help log is switched on from the command line, in any case; beside
    // a program in a writable bin it is written there.
    testing::ChildProcess velmora({Path("bin/velmora").toStdString(), "--demo", "-DEBUG"});
    const QString logFile = Path("bin/HHDebug.txt");
    const QString created = QStringLiteral("THookHelpSystem.Create(\"") +
                            Path("share/velmora/VelmoraFr.qch") + QStringLiteral("\",\"\", 0)");
    EXPECT_TRUE(testing::Eventually([&] { return ReadText(logFile).contains(created); }, 60s))
        << ReadText(logFile).toStdString();
    EXPECT_TRUE(ReadText(logFile).contains(QStringLiteral("_hhInstalled =      YES")));

    // It goes on to show its window: it did not stop at a failure.
    if (display.Running()) {
        EXPECT_FALSE(display.WaitForWindow("638x454", velmora).empty()) << velmora.Errors();
    }
    EXPECT_TRUE(velmora.Running()) << velmora.Errors();
    velmora.Signal(SIGKILL);
    velmora.Wait(10s);
}

TEST_F(InstallTest, AnInstalledProgramKeepsItsSettingsInTheConfigurationFolder) {
    QTemporaryDir config;
    const QString bin = Path("bin");
    EXPECT_TRUE(IsInstalledProgramFolder(bin));
    const SettingsPaths paths =
        ChooseSettingsPaths(bin, config.filePath(QStringLiteral("Velmora")));
    EXPECT_EQ(paths.writePath, config.filePath(QStringLiteral("Velmora/Velmora.ini")));
    // A build tree's program keeps them beside itself.
    EXPECT_FALSE(IsInstalledProgramFolder(QStringLiteral(VELMORA_BUILD_DIR "/src/app")));
}

} // namespace
} // namespace velmora
