#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include "app/settings_location.h"
#include "core/settings_file.h"

using namespace velmora;

namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

class SettingsLocationTest : public ::testing::Test {
  protected:
    QString programFolder() const { return root.filePath(QStringLiteral("bin")); }
    QString configFolder() const { return root.filePath(QStringLiteral("config/Velmora")); }
    QString besideProgram() const { return programFolder() + QStringLiteral("/Velmora.ini"); }
    QString inConfig() const { return configFolder() + QStringLiteral("/Velmora.ini"); }

    QTemporaryDir root;
};

} // namespace

TEST_F(SettingsLocationTest, WritableProgramFolderKeepsTheFileBesideTheProgram) {
    ASSERT_TRUE(QDir().mkpath(programFolder()));
    SettingsPaths paths = ChooseSettingsPaths(programFolder(), configFolder());
    EXPECT_EQ(paths.writePath, besideProgram());
    EXPECT_EQ(paths.readPath, besideProgram());
    EXPECT_FALSE(QDir(configFolder()).exists()); // nothing made there
    EXPECT_EQ(
        QDir(programFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList()); // the write probe is gone

    // A file written to the config folder earlier is still read once.
    ASSERT_TRUE(QDir().mkpath(configFolder()));
    Touch(inConfig());
    paths = ChooseSettingsPaths(programFolder(), configFolder());
    EXPECT_EQ(paths.readPath, inConfig());
    EXPECT_EQ(paths.writePath, besideProgram());

    // Once written beside the program, that one wins.
    Touch(besideProgram());
    paths = ChooseSettingsPaths(programFolder(), configFolder());
    EXPECT_EQ(paths.readPath, besideProgram());
}

TEST_F(SettingsLocationTest, UnwritableProgramFolderUsesTheConfigFolder) {
    // A program folder that cannot take a file, even for root: it does not exist.
    SettingsPaths paths = ChooseSettingsPaths(programFolder(), configFolder());
    EXPECT_EQ(paths.writePath, inConfig());
    EXPECT_EQ(paths.readPath, inConfig());
    EXPECT_TRUE(QDir(configFolder()).exists()); // created for the save

    // Saved there, read from there.
    SettingsFile settings;
    ASSERT_TRUE(settings.SaveParam(ToFilesystemPath(paths.writePath), SettingsValues{}));
    paths = ChooseSettingsPaths(programFolder(), configFolder());
    SettingsFile reread;
    ASSERT_TRUE(reread.LoadParam(ToFilesystemPath(paths.readPath)));
    EXPECT_EQ(reread.ReadIni("MidiThru"), 1);

    // A plain file where the program folder should be is no folder either.
    Touch(programFolder());
    EXPECT_FALSE(IsFolderWritable(programFolder()));
    EXPECT_EQ(ChooseSettingsPaths(programFolder(), configFolder()).writePath, inConfig());
}

#if defined(__linux__)
TEST_F(SettingsLocationTest, ReadOnlySystemFolder) {
    // sysfs takes no new files, not even from root.
    EXPECT_FALSE(IsFolderWritable(QStringLiteral("/sys")));
    const SettingsPaths paths = ChooseSettingsPaths(QStringLiteral("/sys"), configFolder());
    EXPECT_EQ(paths.writePath, inConfig());
    EXPECT_EQ(paths.readPath, inConfig());
}
#endif

TEST(SettingsLocation, PathsAsFilesystemPaths) {
    const QString name = QStringLiteral("/tmp/r\u00e9glages/Velmora.ini");
    EXPECT_EQ(ToFilesystemPath(name).string(), "/tmp/r\xC3\xA9glages/Velmora.ini");
    const SettingsPaths paths = SettingsPathsForThisProgram();
    EXPECT_TRUE(paths.writePath.endsWith(QStringLiteral("/Velmora.ini")));
}

TEST_F(SettingsLocationTest, TheDemoKeepsAFileOfItsOwnWhereTheSettingsAreWritten) {
    const SettingsPaths user{inConfig(), besideProgram()};
    const SettingsPaths demo = DemoSettingsPaths(user);
    EXPECT_EQ(demo.readPath, programFolder() + QStringLiteral("/VelmoraDemo.ini"));
    EXPECT_EQ(demo.writePath, demo.readPath);
    EXPECT_EQ(DemoSettingsPaths({inConfig(), inConfig()}).writePath,
              configFolder() + QStringLiteral("/VelmoraDemo.ini"));
}

// The test programs run in a HOME of their own (support/throwaway_home.cpp):
// the user's Velmora.ini is never read, nor written.
TEST(SettingsLocation, TheTestsRunInAThrowawayHome) {
    const QString home = qEnvironmentVariable("HOME");
    EXPECT_TRUE(QFileInfo(home).fileName().startsWith(QStringLiteral("velmora-home-")))
        << home.toStdString();
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
        EXPECT_NE(QDir(home).canonicalPath(),
                  QDir(QString::fromLocal8Bit(user->pw_dir)).canonicalPath());
    }
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME",
                                 "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = qEnvironmentVariable(variable);
        EXPECT_TRUE(folder.startsWith(home + QLatin1Char('/')) && QFileInfo(folder).isDir())
            << variable << "=" << folder.toStdString();
    }
    EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
                    .startsWith(home + QLatin1Char('/')));
}
