// Reading and writing .syx files: a file is read whole in one piece and
// written whole with one write of its length. Failures carry the texts the
// program shows, in Windows-1252 (Cp1252ToUtf8 of core/cp1252.h gives the
// UTF-8 for terminals).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kSysexLoadErrorText = "Warning: Sysex Load Error !";
inline constexpr const char* kSysexSaveErrorText = "Warning: Sysex Save Error !";

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

// Takes the file's size, then reads that many bytes. Fewer bytes than the
// size is a Short problem with kSysexLoadErrorText. A FIFO or a device reads
// as what its size says (usually nothing); opening never waits for a writer.
LoadedFile LoadSysexFile(const std::string& path);

// Writes all of `bytes` so that no half-written file is ever left: into a
// new file beside the target, which then replaces the target by a rename.
// On failure the new file is removed and an existing target is left as it
// was. A target that exists but is not a regular file (a device such as
// /dev/full, a FIFO) is written in place instead; a folder is refused.
// Symbolic links are followed: the file they lead to is replaced. An
// existing target's permission bits are kept.
FileOutcome SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace velmora
