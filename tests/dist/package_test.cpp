// The Debian package cpack made from the build: what it holds, its fields and
// its computed dependencies, and the program it installs, extracted into a
// throwaway root and started as a user starts it.
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>

#include "help/installed_program.h"
#include "support/child_process.h"
#include "velmora_version.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// A tool's standard output; its exit status in `status`.
std::string RunTool(std::vector<std::string> argv, int& status) {
    testing::ChildProcess tool(std::move(argv));
    status = tool.Wait(120s);
    return tool.Output() + tool.Errors();
}

class PackageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root = new QTemporaryDir;
        extractOutput = RunTool(
            {"/usr/bin/dpkg-deb", "-x", VELMORA_DEB, root->path().toStdString()}, extractStatus);
    }
    static void TearDownTestSuite() {
        delete root;
        root = nullptr;
    }
    void SetUp() override { ASSERT_EQ(extractStatus, 0) << extractOutput; }

    static inline QTemporaryDir* root = nullptr;
    static inline int extractStatus = -1;
    static inline std::string extractOutput;
};

TEST_F(PackageTest, HoldsTheProgramsHelpDesktopFilesAndNothingOutsideUsr) {
    int status = -1;
    const QString listing =
        QString::fromStdString(RunTool({"/usr/bin/dpkg-deb", "--contents", VELMORA_DEB}, status));
    ASSERT_EQ(status, 0) << listing.toStdString();
    QStringList files;
    for (const QString& line : listing.split('\n', Qt::SkipEmptyParts)) {
        const QString path = line.section(' ', -1);
        EXPECT_TRUE(path.startsWith(QStringLiteral("./usr/"))) << line.toStdString();
        if (!path.endsWith('/')) {
            files << path.mid(1);
        }
    }
    QStringList expected = {"/usr/bin/velmora",
                            "/usr/bin/velmora-cli",
                            "/usr/share/velmora/VelmoraEn.qch",
                            "/usr/share/velmora/VelmoraFr.qch",
                            "/usr/share/applications/app.velmora.Velmora.desktop",
                            "/usr/share/metainfo/app.velmora.Velmora.metainfo.xml",
                            "/usr/share/icons/hicolor/scalable/apps/velmora.svg"};
    for (const char* size : {"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        expected << QStringLiteral("/usr/share/icons/hicolor/%1/apps/velmora.png").arg(size);
    }
    // The manual pages and the completion, once the tree has them.
    for (const QString& page : QDir(QStringLiteral(VELMORA_SOURCE_DIR "/dist/man"))
                                   .entryList({QStringLiteral("*.1")}, QDir::Files)) {
        expected << QStringLiteral("/usr/share/man/man1/") + page;
    }
    if (QFileInfo::exists(QStringLiteral(VELMORA_SOURCE_DIR "/dist/bash-completion/velmora-cli"))) {
        expected << QStringLiteral("/usr/share/bash-completion/completions/velmora-cli");
    }
    files.sort();
    expected.sort();
    EXPECT_EQ(files, expected);
}

TEST_F(PackageTest, ItsFieldsAndItsComputedDependencies) {
    int status = -1;
    const std::string fields =
        RunTool({"/usr/bin/dpkg-deb", "--field", VELMORA_DEB, "Package", "Version", "Architecture"},
                status);
    ASSERT_EQ(status, 0) << fields;
    EXPECT_EQ(fields, std::string("Package: velmora\nVersion: ") + kVersion +
                          "\nArchitecture: " VELMORA_DEB_ARCH "\n");
    EXPECT_NE(std::string(VELMORA_DEB)
                  .find(std::string("/velmora_") + kVersion + "_" VELMORA_DEB_ARCH ".deb"),
              std::string::npos);

    const std::string depends =
        RunTool({"/usr/bin/dpkg-deb", "--field", VELMORA_DEB, "Depends"}, status);
    ASSERT_EQ(status, 0);
    // dpkg-shlibdeps names the libraries the programs link, with the
    // versions their symbols need; the two run-time plug-ins are named.
    for (const char* library : {"libc6 (>= ", "libstdc++6 (>= ", "libqt6core6 (>= ",
                                "libqt6widgets6 (>= ", "libqt6help6 (>= ", "librtmidi6 (>= "}) {
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    }
    for (const char* plugin : {"qt6-qpa-plugins", "libqt6sql6-sqlite"}) {
        EXPECT_NE(depends.find(plugin), std::string::npos) << plugin << " in " << depends;
    }
}

TEST_F(PackageTest, TheExtractedProgramStartsWithItsEnglishHelpAndStops) {
    const QString usr = QDir(root->path()).filePath(QStringLiteral("usr"));
    const testing::InstalledRun run = testing::RunInstalledProgram(usr, "en_US.UTF-8");
    EXPECT_TRUE(run.log.contains(QStringLiteral("THookHelpSystem.Create(\"") +
                                 QDir(usr).filePath(QStringLiteral("share/velmora/VelmoraEn.qch")) +
                                 QStringLiteral("\",\"\", 0)")))
        << run.log.toStdString() << run.errors;
    EXPECT_EQ(run.exitStatus, 128 + SIGTERM) << run.errors; // stopped by it
    EXPECT_TRUE(run.settingsSaved);
    EXPECT_FALSE(run.logInBin);
}

} // namespace
} // namespace velmora
