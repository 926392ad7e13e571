// `cmake --install` into a temporary prefix: the programs, the help files,
// the desktop entry, the metadata and the icons land where a Linux desktop
// looks; the installed programs answer --version and --help without a
// display, and the window program says it needs one; the installed program starts, finds its help
// file in the user's language, keeps its help log and its settings in the user's folders, and
// closes as its Power button closes it when the session stops it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>

#include "app/settings_location.h"
#include "help/installed_program.h"
#include "support/child_process.h"
#include "velmora_version.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using testing::ReadText;

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

    static QString Path(const QString& relative) { return QDir(prefix->path()).filePath(relative); }

    static inline QTemporaryDir* prefix = nullptr;
    static inline int installStatus = -1;
    static inline std::string installOutput;
};

TEST_F(InstallTest, ProgramsHelpFilesDesktopEntryMetadataAndIcons) {
    for (const char* program : {"bin/velmora", "bin/velmora-cli"}) {
        const QFileInfo info(Path(program));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    for (const char* help : {"share/velmora/VelmoraFr.qch", "share/velmora/VelmoraEn.qch"}) {
        EXPECT_GT(QFileInfo(Path(help)).size(), 10000) << help;
    }

    const QString entry = ReadText(Path("share/applications/app.velmora.Velmora.desktop"));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    for (const char* line :
         {"\nType=Application\n", "\nName=Velmora\n", "\nExec=velmora\n", "\nIcon=velmora\n",
          "\nTerminal=false\n", "\nCategories=AudioVideo;Audio;Midi;"}) {
        EXPECT_TRUE(entry.contains(QString::fromLatin1(line))) << line;
    }
    const QString metadata = ReadText(Path("share/metainfo/app.velmora.Velmora.metainfo.xml"));
    EXPECT_TRUE(metadata.contains(QStringLiteral("<id>app.velmora.Velmora</id>")));
    EXPECT_TRUE(metadata.contains(
        QStringLiteral("<launchable type=\"desktop-id\">app.velmora.Velmora.desktop<")));
    EXPECT_TRUE(metadata.contains(QStringLiteral("<release version=\"%1\"").arg(kVersion)));

    EXPECT_TRUE(ReadText(Path("share/icons/hicolor/scalable/apps/velmora.svg")).contains("<svg"));
    for (const char* size : {"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        QFile icon(Path(QStringLiteral("share/icons/hicolor/%1/apps/velmora.png").arg(size)));
        EXPECT_TRUE(icon.open(QIODevice::ReadOnly) && icon.read(4) == "\x89PNG") << size;
    }
}

TEST_F(InstallTest, TheInstalledProgramsAnswerWithoutADisplay) {
    testing::ScopedEnvironment noDisplay({{"DISPLAY", std::nullopt},
                                          {"WAYLAND_DISPLAY", std::nullopt},
                                          {"QT_QPA_PLATFORM", std::nullopt}});
    const std::string version = std::string(" ") + kVersion + "\n";
    testing::ChildProcess velmoraVersion({Path("bin/velmora").toStdString(), "--version"});
    EXPECT_EQ(velmoraVersion.Wait(60s), 0) << velmoraVersion.Errors();
    EXPECT_EQ(velmoraVersion.Output(), "velmora" + version);
    testing::ChildProcess help({Path("bin/velmora").toStdString(), "--demo", "--help"});
    EXPECT_EQ(help.Wait(60s), 0) << help.Errors();
    EXPECT_NE(help.Output().find("Usage: velmora "), std::string::npos);

    // Anything else needs the window: one clear sentence and status 1,
    // not Qt's abort; likewise for a display that is named but not there.
    for (const char* display : {"", ":7919"}) {
        testing::ScopedEnvironment named(
            {{"DISPLAY", *display ? std::optional<std::string>(display) : std::nullopt}});
        testing::ChildProcess velmora({Path("bin/velmora").toStdString(), "--demo"});
        EXPECT_EQ(velmora.Wait(60s), 1) << velmora.Errors();
        const std::string said = velmora.Errors();
        EXPECT_TRUE(said.starts_with("velmora: ") && said.find('\n') == said.size() - 1 &&
                    said.find("velmora-cli works without one") != std::string::npos)
            << said;
    }

    testing::ChildProcess cliVersion({Path("bin/velmora-cli").toStdString(), "--version"});
    EXPECT_EQ(cliVersion.Wait(60s), 0);
    EXPECT_EQ(cliVersion.Output(), "velmora-cli" + version);
    testing::ChildProcess cli({Path("bin/velmora-cli").toStdString(), "decode", "90", "3C", "64"});
    EXPECT_EQ(cli.Wait(60s), 0);
    EXPECT_NE(cli.Output().find("C3 (do3)"), std::string::npos) << cli.Output();
}

TEST_F(InstallTest, TheInstalledProgramFindsItsHelpKeepsItsFilesInTheUsersFoldersAndStops) {
    // The help log is switched on from the command line, in any case; the
    // bin folder could be written, yet nothing goes there.
    const testing::InstalledRun run = testing::RunInstalledProgram(prefix->path(), "fr_FR.UTF-8");
    EXPECT_TRUE(run.log.contains(QStringLiteral("THookHelpSystem.Create(\"") +
                                 Path("share/velmora/VelmoraFr.qch") +
                                 QStringLiteral("\",\"\", 0)")))
        << run.log.toStdString() << run.errors;
    EXPECT_TRUE(run.log.contains(QStringLiteral("_hhInstalled =      YES")));
    EXPECT_EQ(run.exitStatus, 128 + SIGTERM) << run.errors; // stopped by it
    EXPECT_TRUE(run.settingsSaved);
    EXPECT_FALSE(run.logInBin);
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
