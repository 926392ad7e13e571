// The safe file functions on POSIX systems.
#ifndef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
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
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // 0, or the errno of a failed close.
    int Close() {
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Opens without ever waiting (a FIFO with no other end), then makes the
// descriptor blocking for the transfer.
int OpenNoWait(const std::string& path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
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

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel's rule for links in shared folders (fs.protected_symlinks): a
// link in a sticky, world-writable folder is followed only when it belongs
// to the user or to the folder's owner. Applied here because the link is
// read, not followed by the kernel.
FileResult CheckLinkOwner(const std::string& link, const struct stat& linkStat) {
    struct stat folder {};
    if (::stat(FolderOf(link).c_str(), &folder) != 0) {
        return SystemFault(errno);
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && linkStat.st_uid != ::geteuid() && linkStat.st_uid != folder.st_uid) {
        return Fault(FileFault::PlantedLink);
    }
    return {};
}

// Where ReplaceFile puts the bytes, and how.
struct Target {
    enum class Kind { NewFile, Regular, Stream };
    Kind kind = Kind::NewFile;
    std::string path;
    struct stat old {}; // for Regular: the file replaced
};

FileResult Classify(const std::string& path, const struct stat& st, Target& target) {
    target.path = path;
    target.old = st;
    if (S_ISDIR(st.st_mode)) {
        return SystemFault(EISDIR);
    }
    if (S_ISREG(st.st_mode)) {
        target.kind = Target::Kind::Regular;
        return {};
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        target.kind = Target::Kind::Stream;
        return {};
    }
    return Fault(FileFault::NotAFile);
}

// Follows the links from `path`, checking each, to what the bytes replace.
FileResult FindTarget(const std::string& path, Target& target) {
    std::string at = path;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                return SystemFault(errno);
            }
            // A link of /proc/self/fd names no path ("pipe:[1234]"), but the
            // kernel can still follow it to a stream.
            struct stat through {};
            if (hops > 0 && ::stat(path.c_str(), &through) == 0 &&
                (S_ISCHR(through.st_mode) || S_ISFIFO(through.st_mode))) {
                return Classify(path, through, target);
            }
            target.kind = Target::Kind::NewFile;
            target.path = at;
            return {};
        }
        if (!S_ISLNK(st.st_mode)) {
            return Classify(at, st, target);
        }
        if (const FileResult owner = CheckLinkOwner(at, st); !owner) {
            return owner;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
        if (n < 0) {
            return SystemFault(errno);
        }
        if (static_cast<std::size_t>(n) >= link.size()) {
            return SystemFault(ENAMETOOLONG);
        }
        link.resize(static_cast<std::size_t>(n));
        at = link.starts_with('/') ? link : FolderOf(at) + "/" + link;
    }
    return SystemFault(ELOOP);
}

// Creates a new file beside `target` with a name no other save uses. It is
// never readable by more users than `mode` allows, even while it is written.
int CreateTempBeside(const std::string& target, std::string& temp, mode_t mode) {
    static std::atomic<unsigned> serial{0};
    const std::string folder = FolderOf(target) + "/";
    const std::string name = NameOf(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = folder + TempFileName(name, static_cast<long>(::getpid()), serial.fetch_add(1));
        const int fd = OpenNoWait(temp, O_WRONLY | O_CREAT | O_EXCL, mode);
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

// Removes the new files that killed saves of `target` left beside it.
void RemoveDeadTempFiles(const std::string& target) {
    DIR* folder = ::opendir(FolderOf(target).c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string name = NameOf(target);
    std::vector<std::string> dead;
    while (const dirent* entry = ::readdir(folder)) {
        const std::optional<long> pid = TempFileProcess(entry->d_name, name);
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
bool MayReplaceInStickyFolder(const Target& target) {
    struct stat folder {};
    if (::stat(FolderOf(target.path).c_str(), &folder) != 0 || (folder.st_mode & S_ISVTX) == 0) {
        return true;
    }
    const uid_t user = ::geteuid();
    return user == 0 || target.old.st_uid == user || folder.st_uid == user;
}

FileResult WriteStream(const std::string& path, std::span<const std::uint8_t> bytes) {
    Descriptor fd(OpenNoWait(path, O_WRONLY));
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

FileResult WriteAndRename(const Target& target, std::span<const std::uint8_t> bytes) {
    std::string temp;
    const bool replacing = target.kind == Target::Kind::Regular;
    Descriptor file(
        CreateTempBeside(target.path, temp, replacing ? target.old.st_mode & 0666 : 0666));
    if (file.get() < 0) {
        return SystemFault(errno);
    }
    auto fail = [&](FileResult result) {
        file.Close();
        ::unlink(temp.c_str());
        return result;
    };
    if (const FileResult written = WriteAll(file.get(), bytes); !written) {
        return fail(written);
    }
    if (replacing) {
        // Best effort: the owner first, as a change of owner clears set-id bits.
        (void)!::fchown(file.get(), target.old.st_uid, target.old.st_gid);
        (void)::fchmod(file.get(), target.old.st_mode & 07777);
    }
    // On disk before the rename makes it the file.
    if (::fsync(file.get()) != 0) {
        return fail(SystemFault(errno));
    }
    if (const int error = file.Close(); error != 0) {
        ::unlink(temp.c_str());
        return SystemFault(error);
    }
    if (::rename(temp.c_str(), target.path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return SystemFault(error);
    }
    // Best effort: the rename itself reaches the disk.
    Descriptor folder(OpenNoWait(FolderOf(target.path), O_RDONLY | O_DIRECTORY));
    if (folder.get() >= 0) {
        (void)::fsync(folder.get());
    }
    return {};
}

} // namespace

FileContents ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    FileContents contents;
    // Looked at before it is opened: opening a device may act on it.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        contents.result = SystemFault(errno);
        return contents;
    }
    if (S_ISDIR(st.st_mode)) {
        contents.result = SystemFault(EISDIR);
        return contents;
    }
    if (!S_ISREG(st.st_mode)) {
        contents.result = Fault(FileFault::NotAFile);
        return contents;
    }
    Descriptor fd(OpenNoWait(path.string(), O_RDONLY));
    if (fd.get() < 0) {
        contents.result = SystemFault(errno);
        return contents;
    }
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
    Target target;
    if (const FileResult found = FindTarget(path.string(), target); !found) {
        return found;
    }
    if (target.kind == Target::Kind::Stream) {
        return WriteStream(target.path, bytes);
    }
    RemoveDeadTempFiles(target.path);
    return WriteAndRename(target, bytes);
}

FileResult CheckReplaceable(const std::filesystem::path& path) {
    Target target;
    if (const FileResult found = FindTarget(path.string(), target); !found) {
        return found;
    }
    if (target.kind == Target::Kind::Stream) {
        return {}; // opened only to write: a FIFO's reader would see its end
    }
    if (target.kind == Target::Kind::Regular && !MayReplaceInStickyFolder(target)) {
        return SystemFault(EPERM);
    }
    std::string temp;
    Descriptor trial(CreateTempBeside(target.path, temp, 0600));
    if (trial.get() < 0) {
        return SystemFault(errno);
    }
    trial.Close();
    ::unlink(temp.c_str());
    return {};
}

} // namespace velmora

#endif // _WIN32
