// Reading and writing .syx files, whole. Failures carry the texts the
// program shows, in Windows-1252 (Cp1252ToUtf8 of core/cp1252.h gives the
// UTF-8 for terminals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/user_language.h"

namespace velmora {

inline constexpr const char* kSysexLoadErrorText = "Warning: Sysex Load Error !";
inline constexpr const char* kSysexSaveErrorText = "Warning: Sysex Save Error !";
// Refusals the runtime has no text for, in its language.
inline constexpr const char* kNotAFileText = "Pas un fichier ordinaire";
inline constexpr const char* kFileTooLargeText = "Fichier trop volumineux";
inline constexpr const char* kPlantedLinkText =
    "Acc\xE8s au fichier refus\xE9 : lien d'un autre utilisateur dans un dossier partag\xE9";

// The largest .syx file that is loaded.
inline constexpr std::size_t kMaxSysexFileBytes = std::size_t{256} << 20;

enum class FileProblem {
    None,
    System, // the system refused (errorCode is errno): the runtime's text
    Short,  // fewer bytes read or written than the length: the program's warning
};

struct FileOutcome {
    FileProblem problem = FileProblem::None;
    int errorCode = 0;   // errno, for FileProblem::System
    std::string message; // Windows-1252; empty when all went well
    explicit operator bool() const { return problem == FileProblem::None; }
};

struct LoadedFile {
    FileOutcome outcome;
    std::vector<std::uint8_t> bytes; // the whole file when outcome is good
};

// The runtime's text of a system error, Windows-1252: "Fichier introuvable"
// (ENOENT), "Accès au fichier refusé" (EACCES, EPERM), "Disque plein"
// (ENOSPC, EDQUOT), otherwise "Erreur E/S %d" with the error code.
std::string FileErrorText(int errorCode);
// The same in `language`: English gives "file not found", "permission
// denied", "disk full" and "I/O error %d"; French is FileErrorText.
std::string FileErrorText(int errorCode, Language language);
// The text of a failed outcome in `language`, UTF-8 (the program's own
// refusals included).
std::string FileOutcomeText(const FileOutcome& outcome, Language language);

// Reads the whole .syx file (see ReadRegularFile of core/safe_file.h), up to
// kMaxSysexFileBytes. A file that shrinks while it is read is a Short
// problem with kSysexLoadErrorText. Anything but a regular file (a FIFO, a
// device, "<(cat f.syx)") is refused with kNotAFileText and never waited on;
// a folder is "Erreur E/S 21".
LoadedFile LoadSysexFile(const std::string& path);

// Writes all of `bytes` with ReplaceFile of core/safe_file.h: no
// half-written file is ever left, and an existing target is replaced only
// by a complete file, keeping its permission bits. A device such as
// /dev/full or a FIFO is written in place; a folder is refused. Links are
// followed, except one planted by another user in a shared sticky folder
// (kPlantedLinkText).
FileOutcome SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether SaveSysexFile could write `path` now, checked without changing it,
// so that a recording that could not be saved is not made.
FileOutcome CheckSysexFileTarget(const std::string& path);

} // namespace velmora
