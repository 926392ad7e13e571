// The safe file functions on POSIX systems.
#ifndef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <new>
#include <string>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/safe_file.h"

namespace velmora {

namespace {

FileResult Fault(FileFault fault, int error = 0) {
    return {fault, error};
}

FileResult SystemFault(int error) {
    return {FileFault::System, error != 0 ? error : EIO};
}

// A file descriptor closed when it goes out of scope, unless closed before.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        Descriptor old(std::exchange(fd_, std::exchange(other.fd_, -1)));
        return *this;
    }
    int get() const { return fd_; }
    // 0, or the errno of a failed close.
    int Close() {
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Folders are opened only to look names up in them: no right to read them
// is needed, as for the kernel's own walk.
#ifdef O_PATH
constexpr int kLookupOnly = O_PATH;
#else
constexpr int kLookupOnly = O_RDONLY;
#endif

int OpenFolderAt(int folder, const char* name) {
    int fd = -1;
    do {
        fd = ::openat(folder, name, kLookupOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens `name` in `folder` without ever waiting (a FIFO with no other end),
// then makes the descriptor blocking for the transfer. A link is not
// followed unless `follow` says so.
int OpenNoWait(int folder, const std::string& name, int flags, bool follow = false,
               mode_t mode = 0) {
    flags |= O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (follow ? 0 : O_NOFOLLOW);
    int fd = -1;
    do {
        fd = ::openat(folder, name.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        const int current = ::fcntl(fd, F_GETFL);
        if (current >= 0) {
            ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
        }
    }
    return fd;
}

// Writes everything, going on after partial writes.
FileResult WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), std::min<std::size_t>(bytes.size(), SSIZE_MAX));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return SystemFault(errno);
        }
        if (n == 0) {
            return Fault(FileFault::Short);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
}

// The names of a path, in order; a path ending in "/" names a folder, so
// its last name is ".".
void PushNames(std::deque<std::string>& names, const std::string& path) {
    std::deque<std::string> mine;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) {
            mine.emplace_back(path, start, slash - start);
        }
        start = slash + 1;
    }
    if (!path.empty() && path.back() == '/') {
        mine.emplace_back(".");
    }
    names.insert(names.begin(), mine.begin(), mine.end());
}

// The kernel's rule for links in shared folders (fs.protected_symlinks): a
// link in a sticky, world-writable folder is followed only when it belongs
// to the user or to the folder's owner. Applied here to every link on the
// way, as the walk reads the links instead of letting the kernel follow them.
FileResult CheckLinkOwner(int folder, const struct stat& linkStat) {
    struct stat st {};
    if (::fstat(folder, &st) != 0) {
        return SystemFault(errno);
    }
    const bool shared = (st.st_mode & S_ISVTX) != 0 && (st.st_mode & S_IWOTH) != 0;
    if (shared && linkStat.st_uid != ::geteuid() && linkStat.st_uid != st.st_uid) {
        return Fault(FileFault::PlantedLink);
    }
    return {};
}

// What a path leads to: a name in a folder held open, so that nothing on the
// way can be swapped between the checks and the use.
struct Place {
    Descriptor folder;
    std::string name;
    bool exists = false;
    // A link of /proc/self/fd that names no path ("pipe:[1234]"): only the
    // kernel can follow it, to a stream.
    bool kernelFollows = false;
    struct stat st {}; // what `name` is, when it exists (never a link)
};

// Walks `path` one name at a time from "/" or the working folder, as the
// kernel would, but reads each link itself and refuses a planted one,
// wherever it stands on the way. Every folder on the way must exist; the
// last name need not.
FileResult Walk(const std::string& path, Place& place) {
    if (path.empty()) {
        return SystemFault(ENOENT);
    }
    std::deque<std::string> names;
    PushNames(names, path);
    Descriptor folder(OpenFolderAt(AT_FDCWD, path.front() == '/' ? "/" : "."));
    int links = 0;
    while (folder.get() >= 0) {
        if (names.empty()) { // "/" alone
            names.emplace_back(".");
        }
        const std::string name = std::move(names.front());
        names.pop_front();
        const bool last = names.empty();
        if (name == "." && !last) {
            continue;
        }
        struct stat st {};
        if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && last) {
                place.folder = std::move(folder);
                place.name = name;
                place.exists = false;
                return {};
            }
            return SystemFault(errno);
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > 40) {
                return SystemFault(ELOOP);
            }
            if (const FileResult owner = CheckLinkOwner(folder.get(), st); !owner) {
                return owner;
            }
            std::string target(PATH_MAX, '\0');
            const ssize_t n =
                ::readlinkat(folder.get(), name.c_str(), target.data(), target.size());
            if (n < 0) {
                return SystemFault(errno);
            }
            if (static_cast<std::size_t>(n) >= target.size()) {
                return SystemFault(ENAMETOOLONG);
            }
            target.resize(static_cast<std::size_t>(n));
            struct stat there {};
            struct stat through {};
            if (!target.empty() && target.find('/') == std::string::npos &&
                ::fstatat(folder.get(), target.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 &&
                ::fstatat(folder.get(), name.c_str(), &through, 0) == 0) {
                if (!last) {
                    folder = Descriptor(::openat(folder.get(), name.c_str(),
                                                 kLookupOnly | O_DIRECTORY | O_CLOEXEC));
                    continue;
                }
                place.folder = std::move(folder);
                place.name = name;
                place.exists = true;
                place.kernelFollows = true;
                place.st = through;
                return {};
            }
            if (target.empty()) {
                return SystemFault(ENOENT);
            }
            if (target.front() == '/') {
                folder = Descriptor(OpenFolderAt(AT_FDCWD, "/"));
            }
            PushNames(names, target);
            if (names.empty()) { // a link to "/"
                names.emplace_back(".");
            }
            continue;
        }
        if (last) {
            place.folder = std::move(folder);
            place.name = name;
            place.exists = true;
            place.st = st;
            return {};
        }
        if (!S_ISDIR(st.st_mode)) {
            return SystemFault(ENOTDIR);
        }
        folder = Descriptor(OpenFolderAt(folder.get(), name.c_str()));
    }
    return SystemFault(errno);
}

// Where ReplaceFile puts the bytes, and how.
enum class TargetKind { NewFile, Regular, Stream };

FileResult Classify(const Place& place, TargetKind& kind) {
    if (!place.exists) {
        kind = TargetKind::NewFile;
        return {};
    }
    if (S_ISDIR(place.st.st_mode)) {
        return SystemFault(EISDIR);
    }
    if (S_ISREG(place.st.st_mode) && !place.kernelFollows) {
        kind = TargetKind::Regular;
        return {};
    }
    if (S_ISCHR(place.st.st_mode) || S_ISFIFO(place.st.st_mode)) {
        kind = TargetKind::Stream;
        return {};
    }
    return Fault(FileFault::NotAFile);
}

// Creates a new file beside `place` with a name no other save uses. It is
// never readable by more users than `mode` allows, even while it is written.
int CreateTempBeside(const Place& place, std::string& temp, mode_t mode) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = TempFileName(place.name, static_cast<long>(::getpid()), serial.fetch_add(1));
        const int fd =
            OpenNoWait(place.folder.get(), temp, O_WRONLY | O_CREAT | O_EXCL, false, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool ProcessRuns(long pid) {
    if (pid <= 0 || pid > INT_MAX) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Removes the new files that killed saves of `place` left beside it.
void RemoveDeadTempFiles(const Place& place) {
    const int listed = ::openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) {
        return;
    }
    DIR* folder = ::fdopendir(listed);
    if (folder == nullptr) {
        ::close(listed);
        return;
    }
    std::vector<std::string> dead;
    while (const dirent* entry = ::readdir(folder)) {
        const std::optional<long> pid = TempFileProcess(entry->d_name, place.name);
        if (!pid || *pid == static_cast<long>(::getpid())) {
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || ProcessRuns(*pid)) {
            continue;
        }
        dead.emplace_back(entry->d_name);
    }
    for (const std::string& file : dead) {
        ::unlinkat(::dirfd(folder), file.c_str(), 0);
    }
    ::closedir(folder);
}

// In a sticky folder only the owner of a file or of the folder (or root)
// may rename over it: the rename would fail after the new file is written.
bool MayReplaceInStickyFolder(const Place& place) {
    struct stat folder {};
    if (::fstat(place.folder.get(), &folder) != 0 || (folder.st_mode & S_ISVTX) == 0) {
        return true;
    }
    const uid_t user = ::geteuid();
    return user == 0 || place.st.st_uid == user || folder.st_uid == user;
}

FileResult WriteStream(const Place& place, std::span<const std::uint8_t> bytes) {
    Descriptor fd(OpenNoWait(place.folder.get(), place.name, O_WRONLY, place.kernelFollows));
    if (fd.get() < 0) {
        return SystemFault(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return SystemFault(errno);
    }
    if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        return SystemFault(EAGAIN); // replaced by something else meanwhile
    }
    if (const FileResult written = WriteAll(fd.get(), bytes); !written) {
        return written;
    }
    if (const int error = fd.Close(); error != 0) {
        return SystemFault(error);
    }
    return {};
}

FileResult WriteAndRename(const Place& place, TargetKind kind,
                          std::span<const std::uint8_t> bytes) {
    std::string temp;
    const bool replacing = kind == TargetKind::Regular;
    const int folder = place.folder.get();
    Descriptor file(CreateTempBeside(place, temp, replacing ? place.st.st_mode & 0666 : 0666));
    if (file.get() < 0) {
        return SystemFault(errno);
    }
    auto fail = [&](FileResult result) {
        file.Close();
        ::unlinkat(folder, temp.c_str(), 0);
        return result;
    };
    if (const FileResult written = WriteAll(file.get(), bytes); !written) {
        return fail(written);
    }
    if (replacing) {
        // Best effort: the owner first, as a change of owner clears set-id bits.
        (void)!::fchown(file.get(), place.st.st_uid, place.st.st_gid);
        (void)::fchmod(file.get(), place.st.st_mode & 07777);
    }
    // On disk before the rename makes it the file.
    if (::fsync(file.get()) != 0) {
        return fail(SystemFault(errno));
    }
    if (const int error = file.Close(); error != 0) {
        ::unlinkat(folder, temp.c_str(), 0);
        return SystemFault(error);
    }
    if (::renameat(folder, temp.c_str(), folder, place.name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        return SystemFault(error);
    }
    // Best effort: the rename itself reaches the disk.
    Descriptor synced(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (synced.get() >= 0) {
        (void)::fsync(synced.get());
    }
    return {};
}

} // namespace

FileContents ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    FileContents contents;
    Place place;
    if (const FileResult found = Walk(path.string(), place); !found) {
        contents.result = found;
        return contents;
    }
    // Looked at before it is opened: opening a device may act on it.
    if (!place.exists) {
        contents.result = SystemFault(ENOENT);
        return contents;
    }
    if (S_ISDIR(place.st.st_mode)) {
        contents.result = SystemFault(EISDIR);
        return contents;
    }
    if (!S_ISREG(place.st.st_mode)) {
        contents.result = Fault(FileFault::NotAFile);
        return contents;
    }
    Descriptor fd(OpenNoWait(place.folder.get(), place.name, O_RDONLY, place.kernelFollows));
    if (fd.get() < 0) {
        contents.result = SystemFault(errno);
        return contents;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        contents.result = SystemFault(errno);
        return contents;
    }
    if (!S_ISREG(st.st_mode)) {
        contents.result = Fault(FileFault::NotAFile); // replaced meanwhile
        return contents;
    }
    const auto size = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
    if (size > maxBytes) {
        contents.result = Fault(FileFault::TooLarge);
        return contents;
    }
    std::vector<std::uint8_t>& bytes = contents.bytes;
    try {
        bytes.resize(size);
        // Read to the end, not only the size shown (files in /proc show
        // none), but stop one byte beyond the limit.
        std::size_t got = 0;
        while (got <= maxBytes) {
            std::uint8_t spare[4096];
            const bool beyondSize = got == bytes.size();
            std::uint8_t* into = beyondSize ? spare : bytes.data() + got;
            const std::size_t room = beyondSize ? sizeof spare : bytes.size() - got;
            const ssize_t n = ::read(fd.get(), into, std::min<std::size_t>(room, SSIZE_MAX));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                contents.result = SystemFault(errno);
                break;
            }
            if (n == 0) {
                break;
            }
            if (beyondSize) {
                bytes.insert(bytes.end(), spare, spare + n);
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    } catch (const std::bad_alloc&) {
        contents.result = SystemFault(ENOMEM);
    }
    if (contents.result && bytes.size() > maxBytes) {
        contents.result = Fault(FileFault::TooLarge);
    } else if (contents.result && bytes.size() < size) {
        contents.result = Fault(FileFault::Short); // it shrank meanwhile
    }
    if (!contents.result) {
        contents.bytes.clear();
    }
    return contents;
}

FileResult ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    Place place;
    TargetKind kind = TargetKind::NewFile;
    if (const FileResult found = Walk(path.string(), place); !found) {
        return found;
    }
    if (const FileResult classified = Classify(place, kind); !classified) {
        return classified;
    }
    if (kind == TargetKind::Stream) {
        return WriteStream(place, bytes);
    }
    RemoveDeadTempFiles(place);
    return WriteAndRename(place, kind, bytes);
}

FileResult CheckReplaceable(const std::filesystem::path& path) {
    Place place;
    TargetKind kind = TargetKind::NewFile;
    if (const FileResult found = Walk(path.string(), place); !found) {
        return found;
    }
    if (const FileResult classified = Classify(place, kind); !classified) {
        return classified;
    }
    if (kind == TargetKind::Stream) {
        return {}; // opened only to write: a FIFO's reader would see its end
    }
    if (kind == TargetKind::Regular && !MayReplaceInStickyFolder(place)) {
        return SystemFault(EPERM);
    }
    std::string temp;
    Descriptor trial(CreateTempBeside(place, temp, 0600));
    if (trial.get() < 0) {
        return SystemFault(errno);
    }
    trial.Close();
    ::unlinkat(place.folder.get(), temp.c_str(), 0);
    return {};
}

} // namespace velmora

#endif // _WIN32
