#include "core/file_result.h"

#include <cerrno>
#include <system_error>

namespace velmora {

namespace {

// The runtime's texts of system errors, and their English.
std::string SystemText(int error, Language language) {
    const bool french = language == Language::French;
    switch (error) {
    case ENOENT:
        return french ? "Fichier introuvable" : "file not found";
    case EACCES:
    case EPERM:
        return french ? "Acc\xE8s au fichier refus\xE9" : "permission denied";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return french ? "Disque plein" : "disk full";
    default:
        // The runtime says only the number; in English the system's own words.
        return french ? "Erreur E/S " + std::to_string(error)
                      : std::generic_category().message(error);
    }
}

} // namespace

std::string FileFaultText(const FileResult& result, Language language, FileTask task) {
    const bool french = language == Language::French;
    switch (result.fault) {
    case FileFault::None:
        return french ? "Aucune erreur" : "no error";
    case FileFault::System:
        return SystemText(result.error != 0 ? result.error : EIO, language);
    case FileFault::Short:
        if (task == FileTask::SysexLoad) {
            return kSysexLoadErrorText;
        }
        if (task == FileTask::SysexSave) {
            return kSysexSaveErrorText;
        }
        return french ? "Le syst\xE8me a lu ou \xE9"
                        "crit moins d'octets que le fichier n'en a"
                      : "the system took or gave fewer bytes than the file has";
    case FileFault::NotAFile:
        return french ? "Pas un fichier ordinaire" : "not a regular file";
    case FileFault::TooLarge:
        return french ? "Fichier trop volumineux" : "file too large";
    case FileFault::PlantedLink:
        return french ? "Acc\xE8s au fichier refus\xE9 : lien d'un autre utilisateur dans un "
                        "dossier partag\xE9"
                      : "permission denied: a link of another user in a shared folder";
    }
    return SystemText(EIO, language);
}

} // namespace velmora
