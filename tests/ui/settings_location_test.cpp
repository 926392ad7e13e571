#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
