// Reading and writing .syx files, whole. Failures are told in words by
// FileFaultText of core/file_result.h, with FileTask::SysexLoad or SysexSave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/safe_file.h"

namespace velmora {

// The largest .syx file that is loaded.
inline constexpr std::size_t kMaxSysexFileBytes = std::size_t{256} << 20;

// Reads the whole .syx file (see ReadRegularFile of core/safe_file.h), up to
// kMaxSysexFileBytes. A file that shrinks while it is read is Short.
// Anything but a regular file (a FIFO, a device, "<(cat f.syx)") is
// NotAFile and never waited on; a folder is a System fault (EISDIR).
FileContents LoadSysexFile(const std::string& path);

// Writes all of `bytes` with ReplaceFile of core/safe_file.h: no
// half-written file is ever left, and an existing target is replaced only
// by a complete file, keeping its permission bits. A device such as
// /dev/full or a FIFO is written in place; a folder is refused. Links are
// followed, except one planted by another user in a shared sticky folder.
FileResult SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether SaveSysexFile could write `path` now, checked without changing it,
// so that a recording that could not be saved is not made.
FileResult CheckSysexFileTarget(const std::string& path);

} // namespace velmora
