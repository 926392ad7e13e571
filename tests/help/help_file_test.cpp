// Which help file the program takes: the user's language picks French or
// English, the other stands in when a file is missing, and each is looked
// for beside the program before the installed data folder.
#include "help/help_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora::help {
namespace {

TEST(HelpLanguage, TheFirstLocaleVariableSetDecides) {
    constexpr auto kFr = HelpLanguage::French;
    constexpr auto kEn = HelpLanguage::English;
    EXPECT_EQ(UserHelpLanguage("fr_FR.UTF-8", "", ""), kFr);
    EXPECT_EQ(UserHelpLanguage("", "fr_CA.UTF-8", "en_US.UTF-8"), kFr);
    EXPECT_EQ(UserHelpLanguage("", "", "fr"), kFr);
    EXPECT_EQ(UserHelpLanguage("", "", "de_DE.UTF-8"), kEn);
    EXPECT_EQ(UserHelpLanguage("", "", "C.UTF-8"), kEn);
    // LC_ALL overrides the others, and LC_MESSAGES overrides LANG.
    EXPECT_EQ(UserHelpLanguage("en_GB.UTF-8", "fr_FR.UTF-8", "fr_FR.UTF-8"), kEn);
    EXPECT_EQ(UserHelpLanguage("", "C", "fr_BE.UTF-8"), kEn);
    // Only a name that begins with "fr" is French.
    EXPECT_EQ(UserHelpLanguage("", "", "fur_IT"), kEn);
}

// An installation in a temporary prefix: PREFIX/bin and PREFIX/share/velmora.
class HelpFileTest : public ::testing::Test {
  protected:
    HelpFileTest() {
        QDir(prefix.path()).mkpath(QStringLiteral("bin"));
        QDir(prefix.path()).mkpath(QStringLiteral("share/velmora"));
    }
    QString Bin() const { return prefix.filePath(QStringLiteral("bin")); }
    QString Data(const QString& name) const {
        return prefix.filePath(QStringLiteral("share/velmora/") + name);
    }
    static void Make(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir prefix;
};

TEST_F(HelpFileTest, TheLanguagesFileElseTheOtherOneBesideTheProgramFirst) {
    EXPECT_TRUE(IsInstalledProgramFolder(Bin()));
    // Neither file: the path beside the program, in the user's language.
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::English),
              QDir(Bin()).filePath(kEnglishHelpFileName));

    Make(Data(kFrenchHelpFileName));
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::French), Data(kFrenchHelpFileName));
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::English), Data(kFrenchHelpFileName));

    Make(Data(kEnglishHelpFileName));
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::English), Data(kEnglishHelpFileName));
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::French), Data(kFrenchHelpFileName));

    // A file beside the program comes before the installed one.
    Make(QDir(Bin()).filePath(kEnglishHelpFileName));
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::English),
              QDir(Bin()).filePath(kEnglishHelpFileName));
    // A folder is no help file.
    QDir(Bin()).mkdir(kFrenchHelpFileName);
    EXPECT_EQ(FindHelpFile(Bin(), HelpLanguage::French), Data(kFrenchHelpFileName));
}

} // namespace
} // namespace velmora::help
