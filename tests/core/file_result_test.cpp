// The words every file failure is told in, in both languages.
#include "core/file_result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>

#include "core/cp1252.h"

using namespace velmora;

TEST(FileResultText, SaysEveryFaultInBothLanguages) {
    auto both = [](FileResult result, FileTask task = FileTask::Other) {
        return std::pair{FileFaultText(result, Language::English, task),
                         Cp1252ToUtf8(FileFaultText(result, Language::French, task))};
    };
    using Texts = std::pair<std::string, std::string>;
    EXPECT_EQ(both({FileFault::System, ENOENT}), Texts("file not found", "Fichier introuvable"));
    for (const int refused : {EACCES, EPERM}) {
        EXPECT_EQ(both({FileFault::System, refused}),
                  Texts("permission denied", "Accès au fichier refusé"));
    }
    for (const int full : {ENOSPC, EDQUOT}) {
        EXPECT_EQ(both({FileFault::System, full}), Texts("disk full", "Disque plein"));
    }
    EXPECT_EQ(both({FileFault::System, EISDIR}), Texts("Is a directory", "Erreur E/S 21"));
    // A failure that did not say why is an input/output error.
    EXPECT_EQ(both({FileFault::System, 0}), Texts("Input/output error", "Erreur E/S 5"));
    EXPECT_EQ(both({FileFault::NotAFile}), Texts("not a regular file", "Pas un fichier ordinaire"));
    EXPECT_EQ(both({FileFault::TooLarge}), Texts("file too large", "Fichier trop volumineux"));
    EXPECT_EQ(both({FileFault::PlantedLink}),
              Texts("permission denied: a link of another user in a shared folder",
                    "Accès au fichier refusé : lien d'un autre utilisateur dans un dossier "
                    "partagé"));
    // Too few bytes: the program's own warning for a .syx file.
    EXPECT_EQ(both({FileFault::Short}, FileTask::SysexLoad).second, kSysexLoadErrorText);
    EXPECT_EQ(both({FileFault::Short}, FileTask::SysexSave).first, kSysexSaveErrorText);
    EXPECT_EQ(both({FileFault::Short}).first,
              "the system took or gave fewer bytes than the file has");
    // The windows get single-byte Windows-1252.
    EXPECT_EQ(FileFaultText({FileFault::System, EACCES}, Language::French),
              "Acc\xE8s au fichier refus\xE9");
}
