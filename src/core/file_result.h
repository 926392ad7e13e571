// What a file operation gave, and the words for it: one type and one text
// function for every file Velmora reads or writes (.syx dumps, histories,
// CSV, captures, the settings file, MIDI files).
#pragma once

#include <string>

#include "core/user_language.h"

namespace velmora {

enum class FileFault {
    None,
    System,      // the system refused: `error` is the errno
    Short,       // fewer bytes read or written than expected, and no reason given
    NotAFile,    // a FIFO, a device or a socket where a regular file is needed
    TooLarge,    // a file beyond the reader's size limit
    PlantedLink, // a link planted by another user in a shared sticky folder
};

struct FileResult {
    FileFault fault = FileFault::None;
    int error = 0; // errno, for FileFault::System
    explicit operator bool() const { return fault == FileFault::None; }
};

// The program's warnings when a .syx file gives or takes fewer bytes than
// it should.
inline constexpr const char* kSysexLoadErrorText = "Warning: Sysex Load Error !";
inline constexpr const char* kSysexSaveErrorText = "Warning: Sysex Save Error !";

// What the operation was doing, for the words of a Short fault.
enum class FileTask { Other, SysexLoad, SysexSave };

// What went wrong, without the path, in single-byte Windows-1252 as every
// text of the core (Cp1252ToUtf8 of core/cp1252.h for terminals).
// French gives the runtime's texts: "Fichier introuvable" (ENOENT), "Accès
// au fichier refusé" (EACCES, EPERM), "Disque plein" (ENOSPC, EDQUOT),
// otherwise "Erreur E/S %d" with the errno. English gives "file not found",
// "permission denied", "disk full", otherwise the system's own words ("Is a
// directory"). The refusals the runtime has no text for ("not a regular
// file", "file too large", a planted link) have words in both. A Short
// fault of a .syx task is the program's warning above.
std::string FileFaultText(const FileResult& result, Language language = Language::English,
                          FileTask task = FileTask::Other);

} // namespace velmora
