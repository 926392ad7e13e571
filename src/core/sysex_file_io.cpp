#include "core/sysex_file_io.h"

#include <cerrno>

#include "core/cp1252.h"
#include "core/safe_file.h"

namespace velmora {

namespace {

FileOutcome SystemFailure(int errorCode) {
    if (errorCode == 0) {
        errorCode = EIO; // a failure that did not say why
    }
    return {FileProblem::System, errorCode, FileErrorText(errorCode)};
}

// The program's texts for what the runtime has no text for.
FileOutcome Outcome(const FileResult& result, const char* shortText) {
    switch (result.fault) {
    case FileFault::None:
        return {};
    case FileFault::System:
        return SystemFailure(result.error);
    case FileFault::Short:
        return {FileProblem::Short, 0, shortText};
    case FileFault::NotAFile:
        return {FileProblem::System, EINVAL, kNotAFileText};
    case FileFault::TooLarge:
        return {FileProblem::System, EFBIG, kFileTooLargeText};
    case FileFault::PlantedLink:
        return {FileProblem::System, EACCES, kPlantedLinkText};
    }
    return SystemFailure(EIO);
}

} // namespace

std::string FileErrorText(int errorCode) {
    switch (errorCode) {
    case ENOENT:
        return "Fichier introuvable";
    case EACCES:
    case EPERM:
        return "Acc\xE8s au fichier refus\xE9";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "Disque plein";
    default:
        return "Erreur E/S " + std::to_string(errorCode);
    }
}

std::string FileErrorText(int errorCode, Language language) {
    if (language == Language::French) {
        return FileErrorText(errorCode);
    }
    switch (errorCode) {
    case ENOENT:
        return "file not found";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "disk full";
    default:
        return "I/O error " + std::to_string(errorCode);
    }
}

std::string FileOutcomeText(const FileOutcome& outcome, Language language) {
    if (language == Language::English && outcome.problem == FileProblem::System) {
        if (outcome.message == kNotAFileText) {
            return "not a regular file";
        }
        if (outcome.message == kFileTooLargeText) {
            return "file too large";
        }
        if (outcome.message == kPlantedLinkText) {
            return "permission denied: a link of another user in a shared folder";
        }
        return FileErrorText(outcome.errorCode, language);
    }
    return Cp1252ToUtf8(outcome.message);
}

LoadedFile LoadSysexFile(const std::string& path) {
    FileContents contents = ReadRegularFile(path, kMaxSysexFileBytes);
    return {Outcome(contents.result, kSysexLoadErrorText), std::move(contents.bytes)};
}

FileOutcome SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return Outcome(ReplaceFile(path, bytes), kSysexSaveErrorText);
}

FileOutcome CheckSysexFileTarget(const std::string& path) {
    return Outcome(CheckReplaceable(path), kSysexSaveErrorText);
}

} // namespace velmora
