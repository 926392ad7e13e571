// The safe file functions on Windows. Windows has no sticky shared folders,
// and its links need a privilege to create, so links are simply followed.
// Devices (NUL, COM1) are never written: only regular files.
#ifdef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include "core/safe_file.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

FileResult SystemFault(int error) {
    return {FileFault::System, error != 0 ? error : EIO};
}

FileResult FromErrorCode(const std::error_code& ec) {
    if (ec == std::errc::no_such_file_or_directory) {
        return SystemFault(ENOENT);
    }
    if (ec == std::errc::permission_denied) {
        return SystemFault(EACCES);
    }
    return SystemFault(EIO);
}

struct Target {
    fs::path path;
    bool exists = false;
};

FileResult FindTarget(const fs::path& path, Target& target) {
    std::error_code ec;
    target.path = path;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(target.path, ec)); ++hops) {
        const fs::path link = fs::read_symlink(target.path, ec);
        if (ec || hops == 40) {
            return ec ? FromErrorCode(ec) : SystemFault(ELOOP);
        }
        target.path = link.is_absolute() ? link : target.path.parent_path() / link;
    }
    const fs::file_status status = fs::status(target.path, ec);
    if (status.type() == fs::file_type::not_found) {
        return {};
    }
    if (ec) {
        return FromErrorCode(ec);
    }
    if (fs::is_directory(status)) {
        return SystemFault(EISDIR);
    }
    if (!fs::is_regular_file(status)) {
        return {FileFault::NotAFile, 0};
    }
    target.exists = true;
    return {};
}

int CreateTempBeside(const fs::path& target, fs::path& temp) {
    static std::atomic<unsigned> serial{0};
    const std::string name = target.filename().string();
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = target.parent_path() / TempFileName(name, _getpid(), serial.fetch_add(1));
        const int fd =
            _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool ProcessRuns(long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED; // runs, under another user
    }
    DWORD code = 0;
    const bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

// Removes the new files that killed saves of `target` left beside it. The
// folder is the user's (Windows has no shared sticky folders).
void RemoveDeadTempFiles(const fs::path& target) {
    std::error_code ec;
    const std::string name = target.filename().string();
    std::vector<fs::path> dead;
    for (const auto& entry : fs::directory_iterator(target.parent_path(), ec)) {
        const std::optional<long> pid = TempFileProcess(entry.path().filename().string(), name);
        if (pid && *pid != _getpid() && entry.is_regular_file(ec) && !ProcessRuns(*pid)) {
            dead.push_back(entry.path());
        }
    }
    for (const fs::path& file : dead) {
        fs::remove(file, ec);
    }
}

FileResult WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = _write(fd, bytes.data(), chunk);
        if (n < 0) {
            return SystemFault(errno);
        }
        if (n == 0) {
            return {FileFault::Short, 0};
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
}

} // namespace

FileContents ReadRegularFile(const fs::path& path, std::size_t maxBytes) {
    FileContents contents;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) {
        contents.result = FromErrorCode(ec);
        return contents;
    }
    if (fs::is_directory(status)) {
        contents.result = SystemFault(EISDIR);
        return contents;
    }
    if (!fs::is_regular_file(status)) {
        contents.result = {FileFault::NotAFile, 0};
        return contents;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > maxBytes) {
        contents.result = {FileFault::TooLarge, 0};
        return contents;
    }
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        contents.result = SystemFault(errno);
        return contents;
    }
    try {
        std::uint8_t chunk[4096];
        std::size_t got = 0;
        while (contents.bytes.size() <= maxBytes &&
               (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
        }
        if (std::ferror(file)) {
            contents.result = SystemFault(errno);
        }
    } catch (const std::bad_alloc&) {
        contents.result = SystemFault(ENOMEM);
    }
    std::fclose(file);
    if (contents.result && contents.bytes.size() > maxBytes) {
        contents.result = {FileFault::TooLarge, 0};
    } else if (contents.result && !ec && contents.bytes.size() < size) {
        contents.result = {FileFault::Short, 0};
    }
    if (!contents.result) {
        contents.bytes.clear();
    }
    return contents;
}

FileResult ReplaceFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    Target target;
    if (const FileResult found = FindTarget(path, target); !found) {
        return found;
    }
    RemoveDeadTempFiles(target.path);
    fs::path temp;
    const int fd = CreateTempBeside(target.path, temp);
    if (fd < 0) {
        return SystemFault(errno);
    }
    FileResult result = WriteAll(fd, bytes);
    if (result && _commit(fd) != 0) {
        result = SystemFault(errno);
    }
    if (_close(fd) != 0 && result) {
        result = SystemFault(errno);
    }
    if (result && !MoveFileExW(temp.c_str(), target.path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        result = SystemFault(GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO);
    }
    if (!result) {
        _wunlink(temp.c_str());
    }
    return result;
}

FileResult CheckReplaceable(const fs::path& path) {
    Target target;
    if (const FileResult found = FindTarget(path, target); !found) {
        return found;
    }
    fs::path temp;
    const int fd = CreateTempBeside(target.path, temp);
    if (fd < 0) {
        return SystemFault(errno);
    }
    _close(fd);
    _wunlink(temp.c_str());
    return {};
}

} // namespace velmora

#endif // _WIN32
