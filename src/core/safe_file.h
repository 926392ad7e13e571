// Reading and writing whole files safely, for every file Velmora keeps (the
// settings file, .syx dumps):
// - only regular files are read, up to a size limit, and opening never waits
//   (a FIFO, a device or /dev/zero gets a clear refusal instead);
// - a file is replaced by writing a new one beside it, flushing it to disk and
//   renaming it over the old one, so a failed save leaves the old file whole;
// - a symbolic link is followed only when the kernel's rule for links in
//   shared folders would follow it: a link in a sticky, world-writable folder
//   (such as /tmp) that belongs neither to the user nor to the folder's owner
//   was planted by someone else and is refused, wherever it stands in the
//   path (a folder on the way too). The path is walked one name at a time
//   through folders held open, so nothing can be swapped in between the
//   checks and the open.
// On Windows, which has neither sticky folders nor devices in its folders,
// links are simply followed and only regular files are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_result.h"

namespace velmora {

struct FileContents {
    FileResult result;
    std::vector<std::uint8_t> bytes; // the whole file when result is good
};

// Reads the regular file at `path` (links followed) whole. A folder is a
// System fault (EISDIR); any other file that is not a regular file is
// NotAFile and is never opened; more than `maxBytes` is TooLarge; a file
// that shrinks while it is read is Short.
FileContents ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// Writes `bytes` as the file at `path`:
// - A regular file, or a path where nothing is yet, gets a new file beside
//   it (see TempFileName), written, flushed to disk and renamed over it; on
//   failure the new file is removed and the old one is left as it was. An
//   existing file's permission bits (and, for root, its owner) are kept.
// - A character device (/dev/full, /dev/null, a terminal) or a FIFO is
//   written in place, as a stream: it is never replaced by a file. A FIFO
//   with no reader is a System fault (ENXIO), not a wait.
// - A folder is refused (EISDIR); a block device or a socket is NotAFile.
// - Links are followed to the file they lead to, which is replaced and the
//   link kept, as editors do; a planted link (see above) is refused and
//   nothing is written.
// Before writing, the new files that earlier saves of the same target left
// behind when they were killed half-way are removed: only those named by
// TempFileName, owned by the user, whose process no longer runs.
FileResult ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Whether ReplaceFile could write `path` now, without changing it: the same
// rules for links and special files; for a regular or new file, a trial new
// file created and removed beside it, and in a sticky folder the right to
// rename over a file of another user. Lets a caller fail before it
// gathers data it could not save.
FileResult CheckReplaceable(const std::filesystem::path& path);

// The name of ReplaceFile's new file beside a target named `targetName`:
// ".NAME.PID.SERIAL.part" (a long NAME is cut, so the result stays a valid
// file name).
std::string TempFileName(std::string_view targetName, long pid, unsigned serial);

// The PID in `fileName` when it is a name TempFileName gives for
// `targetName`.
std::optional<long> TempFileProcess(std::string_view fileName, std::string_view targetName);

// The file a save should write when the user chose a type with `extension`
// (".csv"): a name typed without any extension gets it; a name with one is
// kept as typed.
std::string WithChosenExtension(std::string_view path, std::string_view extension);

} // namespace velmora
