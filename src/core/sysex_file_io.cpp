#include "core/sysex_file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

FileOutcome SystemFailure(int errorCode) {
    if (errorCode == 0) {
        errorCode = EIO; // a failure that did not say why
    }
    return {FileProblem::System, errorCode, FileErrorText(errorCode)};
}

FileOutcome ShortTransfer(const char* text) {
    return {FileProblem::Short, 0, text};
}

// A file descriptor closed when it goes out of scope, unless taken.
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
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// Opens without waiting (a FIFO with no other end), then makes the
// descriptor blocking again for the transfer.
int OpenNoWait(const std::string& path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        const int current = ::fcntl(fd, F_GETFL);
        if (current >= 0) {
            ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
        }
    }
    return fd;
}

// Writes everything, going on after partial writes. 0 when all went out,
// else the errno; -1 when the system took no more bytes without saying why.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), std::min<std::size_t>(bytes.size(), SSIZE_MAX));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return -1;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
}

FileOutcome WriteResult(int written) {
    if (written == -1) {
        return ShortTransfer(kSysexSaveErrorText);
    }
    return SystemFailure(written);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links leads to (the path itself when it is
// no link, or does not exist).
bool FollowLinks(std::string path, std::string* target, int* error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = path;
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) {
            *error = errno;
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        path = link.starts_with('/') ? link : FolderOf(path) + "/" + link;
    }
    *error = ELOOP;
    return false;
}

// A name for the new file beside `target` that no other save uses now.
std::string TempNameBeside(const std::string& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%d.part", static_cast<long>(::getpid()),
                  counter.fetch_add(1), attempt);
    return folder + "." + name + suffix;
}

FileOutcome SaveInPlace(const std::string& target, std::span<const std::uint8_t> bytes) {
    Descriptor fd(OpenNoWait(target, O_WRONLY | O_TRUNC));
    if (fd.get() < 0) {
        return SystemFailure(errno);
    }
    if (const int written = WriteAll(fd.get(), bytes); written != 0) {
        return WriteResult(written);
    }
    if (::close(fd.release()) != 0) {
        return SystemFailure(errno);
    }
    return {};
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
    case EDQUOT:
        return "Disque plein";
    default:
        return "Erreur E/S " + std::to_string(errorCode);
    }
}

LoadedFile LoadSysexFile(const std::string& path) {
    LoadedFile loaded;
    Descriptor fd(OpenNoWait(path, O_RDONLY));
    if (fd.get() < 0) {
        loaded.outcome = SystemFailure(errno);
        return loaded;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        loaded.outcome = SystemFailure(errno);
        return loaded;
    }
    const auto size = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0);
    try {
        loaded.bytes.resize(size);
    } catch (const std::bad_alloc&) {
        loaded.outcome = SystemFailure(ENOMEM);
        return loaded;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd.get(), loaded.bytes.data() + got,
                                 std::min<std::size_t>(size - got, SSIZE_MAX));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            loaded.outcome = SystemFailure(errno);
            loaded.bytes.clear();
            return loaded;
        }
        if (n == 0) {
            break; // the file shrank meanwhile
        }
        got += static_cast<std::size_t>(n);
    }
    if (got != size) {
        loaded.outcome = ShortTransfer(kSysexLoadErrorText);
        loaded.bytes.clear();
    }
    return loaded;
}

FileOutcome SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string target;
    int error = 0;
    if (!FollowLinks(path, &target, &error)) {
        return SystemFailure(error);
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        return SystemFailure(EISDIR);
    }
    if (exists && !S_ISREG(old.st_mode)) {
        return SaveInPlace(target, bytes); // a device is never replaced by a file
    }

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = TempNameBeside(target, attempt);
        fd = OpenNoWait(temp, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return SystemFailure(errno);
    }
    Descriptor file(fd);
    auto fail = [&](FileOutcome outcome) {
        ::close(file.release());
        ::unlink(temp.c_str());
        return outcome;
    };
    if (const int written = WriteAll(file.get(), bytes); written != 0) {
        return fail(WriteResult(written));
    }
    if (exists) {
        // Best effort: the new file keeps the old one's permissions and owner.
        (void)!::fchown(file.get(), old.st_uid, old.st_gid);
        (void)::fchmod(file.get(), old.st_mode & 07777);
    }
    if (::fsync(file.get()) != 0) {
        return fail(SystemFailure(errno));
    }
    if (::close(file.release()) != 0) {
        const int closeError = errno;
        ::unlink(temp.c_str());
        return SystemFailure(closeError);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temp.c_str());
        return SystemFailure(renameError);
    }
    // Best effort: the rename itself reaches the disk.
    Descriptor folder(OpenNoWait(FolderOf(target), O_RDONLY | O_DIRECTORY));
    if (folder.get() >= 0) {
        (void)::fsync(folder.get());
    }
    return {};
}

} // namespace velmora
