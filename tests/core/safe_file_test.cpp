// The one safe writer and reader of files, on a real file system: links in
// shared folders, devices and FIFOs, a read-only folder, leftovers of killed
// saves. Run as root, the cases of other users use made-up uids; as any
// other user those cases are skipped.
#include "core/safe_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/settings_file.h"
#include "core/sysex_file_io.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr uid_t kFolderOwner = 61001; // a user who shares a sticky folder
constexpr uid_t kStranger = 61002;    // a user who plants links in it
constexpr uid_t kNobody = 65534;

const Bytes kNew = {'n', 'e', 'w'};

class SafeFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "velmora-safe-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static void Write(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<std::string> Names(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void Link(const fs::path& to, const fs::path& link, uid_t owner) {
        fs::create_symlink(to, link);
        ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
    }

    fs::path dir_;
};

bool IsRoot() {
    return ::geteuid() == 0;
}

// The PID of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

} // namespace

TEST_F(SafeFile, LinksAreFollowedOnlyWhereTheKernelWouldFollowThem) {
    // A link in a folder of one's own: the file it leads to is replaced and
    // keeps its permission bits; the link stays.
    Write(dir_ / "real.ini", "old");
    ASSERT_EQ(::chmod((dir_ / "real.ini").c_str(), 0640), 0);
    fs::create_symlink("real.ini", dir_ / "link.ini");
    ASSERT_TRUE(ReplaceFile(dir_ / "link.ini", kNew));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_EQ(Read(dir_ / "real.ini"), "new");
    EXPECT_EQ(fs::status(dir_ / "real.ini").permissions(), fs::perms(0640));
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"link.ini", "real.ini"}));

    if (!IsRoot()) {
        GTEST_SKIP() << "links of other users need root to be made";
    }
    // A sticky folder open to all, like /tmp, that another user owns.
    const fs::path shared = dir_ / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chown(shared.c_str(), kFolderOwner, kFolderOwner), 0);
    Write(dir_ / "victim", "secret");

    // A link planted there by a third user is refused, also when it leads
    // nowhere yet, by every writer, and nothing is written.
    Link(dir_ / "victim", shared / "dump.syx", kStranger);
    Link(dir_ / "created", shared / "new.syx", kStranger);
    for (const char* name : {"dump.syx", "new.syx"}) {
        EXPECT_EQ(ReplaceFile(shared / name, kNew).fault, FileFault::PlantedLink) << name;
        EXPECT_EQ(CheckReplaceable(shared / name).fault, FileFault::PlantedLink) << name;
    }
    EXPECT_EQ(SaveSysexFile((shared / "dump.syx").string(), kNew).fault, FileFault::PlantedLink);
    EXPECT_EQ(CheckSysexFileTarget((shared / "dump.syx").string()).fault, FileFault::PlantedLink);
    SettingsFile settings;
    const FileResult saved = settings.SaveParam(shared / "dump.syx", SettingsValues{});
    EXPECT_EQ(saved.fault, FileFault::PlantedLink);
    EXPECT_EQ(Read(dir_ / "victim"), "secret");
    EXPECT_FALSE(fs::exists(dir_ / "created"));

    // Nor is one read: the file behind it could be sent out of a MIDI port.
    EXPECT_EQ(ReadRegularFile(shared / "dump.syx", 1 << 20).result.fault, FileFault::PlantedLink);
    EXPECT_EQ(LoadSysexFile((shared / "dump.syx").string()).result.fault, FileFault::PlantedLink);
    EXPECT_EQ(settings.LoadParam(shared / "dump.syx").fault, FileFault::PlantedLink);

    // A planted link as a folder on the way is refused as well, also when a
    // link of the user's own leads through it, and the folder it leads to
    // is neither read nor written.
    fs::create_directory(dir_ / "mine");
    Write(dir_ / "mine" / "x.syx", "secret");
    Link(dir_ / "mine", shared / "evil", kStranger);
    fs::create_symlink(shared / "evil", dir_ / "through");
    for (const fs::path& folder : {shared / "evil", dir_ / "through", shared / "evil" / ".."}) {
        EXPECT_EQ(ReplaceFile(folder / "out.syx", kNew).fault, FileFault::PlantedLink) << folder;
        EXPECT_EQ(ReplaceFile(folder / "x.syx", kNew).fault, FileFault::PlantedLink) << folder;
        EXPECT_EQ(CheckReplaceable(folder / "out.syx").fault, FileFault::PlantedLink) << folder;
        EXPECT_EQ(ReadRegularFile(folder / "x.syx", 1 << 20).result.fault, FileFault::PlantedLink)
            << folder;
    }
    EXPECT_EQ(Names(dir_ / "mine"), std::vector<std::string>{"x.syx"});
    EXPECT_EQ(Read(dir_ / "mine" / "x.syx"), "secret");
    fs::remove(shared / "evil");
    fs::remove(dir_ / "through");
    EXPECT_EQ(Names(shared), (std::vector<std::string>{"dump.syx", "new.syx"}));

    // Links of the user and of the folder's owner are followed.
    Link("../victim", shared / "mine.syx", ::geteuid());
    ASSERT_TRUE(ReplaceFile(shared / "mine.syx", kNew));
    EXPECT_EQ(Read(dir_ / "victim"), "new");
    Link(dir_ / "owners", shared / "owners.syx", kFolderOwner);
    ASSERT_TRUE(ReplaceFile(shared / "owners.syx", kNew));
    EXPECT_EQ(Read(dir_ / "owners"), "new");
    Link(dir_, shared / "ours", kFolderOwner);
    ASSERT_TRUE(ReplaceFile(shared / "ours" / "mine" / "x.syx", kNew));
    EXPECT_EQ(ReadRegularFile(shared / "ours" / "victim", 1 << 20).bytes, kNew);
}

TEST_F(SafeFile, SpecialFilesAreWrittenInPlaceOrRefusedAndNeverWaitedOn) {
    // A folder is refused and kept.
    fs::create_directory(dir_ / "folder");
    EXPECT_EQ(ReplaceFile(dir_ / "folder", kNew).error, EISDIR);
    EXPECT_EQ(CheckReplaceable(dir_ / "folder").error, EISDIR);
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));

    // A full disk: the device is written, not replaced by a file.
    if (fs::is_character_file("/dev/full")) {
        const FileResult full = ReplaceFile("/dev/full", kNew);
        EXPECT_EQ(full.fault, FileFault::System);
        EXPECT_EQ(full.error, ENOSPC);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
        EXPECT_TRUE(CheckReplaceable("/dev/full"));
    }

    // A FIFO with no reader fails at once; with one, it gets the bytes.
    const fs::path fifo = dir_ / "fifo.syx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReplaceFile(fifo, kNew).error, ENXIO);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(ReplaceFile(fifo, kNew));
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 3);
    EXPECT_EQ(std::string(got), "new");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"fifo.syx", "folder"}));
}

TEST_F(SafeFile, AFailedWriteLeavesTheOldFileAndNoNewOne) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    // A folder the user may not write to, and a file in a shared folder the
    // user may not replace (root may do both, so a child process drops to an
    // unprivileged user first).
    const fs::path folder = dir_ / "locked";
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    Write(folder / "old.syx", "old");
    ASSERT_EQ(::chmod((folder / "old.syx").c_str(), 0666), 0);
    // A sticky folder open to all, and a file in it that is not the user's.
    const fs::path shared = dir_ / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    Write(shared / "theirs.syx", "theirs");
    ASSERT_EQ(::chmod((shared / "theirs.syx").c_str(), 0666), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(10);
        }
        const bool locked = ReplaceFile(folder / "old.syx", kNew).error == EACCES &&
                            CheckReplaceable(folder / "new.syx").error == EACCES;
        const bool theirs = ReplaceFile(shared / "theirs.syx", kNew).error == EPERM &&
                            CheckReplaceable(shared / "theirs.syx").error == EPERM;
        ::_exit(locked ? (theirs ? 0 : 12) : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Read(folder / "old.syx"), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"old.syx"});
    EXPECT_EQ(Read(shared / "theirs.syx"), "theirs");
    EXPECT_EQ(Names(shared), std::vector<std::string>{"theirs.syx"});
}

TEST_F(SafeFile, OnlyRegularFilesAreReadUpToTheLimit) {
    Write(dir_ / "eleven", "eleven byte");
    EXPECT_EQ(ReadRegularFile(dir_ / "eleven", 10).result.fault, FileFault::TooLarge);
    const FileContents whole = ReadRegularFile(dir_ / "eleven", 11);
    ASSERT_TRUE(whole.result);
    EXPECT_EQ(std::string(whole.bytes.begin(), whole.bytes.end()), "eleven byte");
    EXPECT_EQ(ReadRegularFile(dir_ / "missing", 10).result.error, ENOENT);
    EXPECT_EQ(ReadRegularFile(dir_, 10).result.error, EISDIR);

    // A FIFO, with or without a writer, a device, a link to a device: refused
    // at once, never read.
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadRegularFile(fifo, 1 << 20).result.fault, FileFault::NotAFile);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "abc", 3), 3);
    EXPECT_EQ(ReadRegularFile(fifo, 1 << 20).result.fault, FileFault::NotAFile);
    ::close(writer);
    fs::create_symlink("/dev/zero", dir_ / "zero");
    for (const fs::path& device : {fs::path("/dev/zero"), dir_ / "zero"}) {
        const FileContents zero = ReadRegularFile(device, 1 << 20);
        EXPECT_EQ(zero.result.fault, FileFault::NotAFile) << device;
        EXPECT_TRUE(zero.bytes.empty());
    }

    // A file that shows no size is read to its end.
    if (fs::exists("/proc/self/status")) {
        const FileContents status = ReadRegularFile("/proc/self/status", 1 << 20);
        ASSERT_TRUE(status.result);
        EXPECT_FALSE(status.bytes.empty());
    }
}

TEST_F(SafeFile, LeftoversOfKilledSavesAreRemovedOnlyWhenTheyAreOurs) {
    const long ended = EndedProcess();
    const std::vector<std::string> kept = {
        TempFileName("x.syx", static_cast<long>(::getpid()), 1), // a save running here
        TempFileName("x.syx", 1, 2),                             // init always runs
        TempFileName("y.syx", ended, 3),                         // another file's
        TempFileName("x.syx", ended, 4) + ".bak",                // not our name
        "x.syx." + std::to_string(ended) + ".5.part",            // not our name
    };
    const std::string dead = TempFileName("x.syx", ended, 6);
    const std::string strangers = TempFileName("x.syx", ended, 7);
    for (const std::string& name : kept) {
        Write(dir_ / name, "part");
    }
    Write(dir_ / dead, "part");
    Write(dir_ / strangers, "part");
    std::vector<std::string> expected = kept;
    expected.push_back("x.syx");
    if (IsRoot()) {
        ASSERT_EQ(::chown((dir_ / strangers).c_str(), kStranger, kStranger), 0);
        expected.push_back(strangers);
    }
    std::sort(expected.begin(), expected.end());

    ASSERT_TRUE(ReplaceFile(dir_ / "x.syx", kNew));
    EXPECT_EQ(Names(dir_), expected);

    // A long name is cut so the new file's name stays valid, and still known.
    const std::string longName(300, 'a');
    const std::string temp = TempFileName(longName, 123456, 7);
    EXPECT_LE(temp.size(), 255u);
    EXPECT_EQ(TempFileProcess(temp, longName), 123456);
    EXPECT_EQ(TempFileProcess(temp, "b" + longName), std::nullopt);
}

TEST(SavePath, AChosenTypeGivesANameWithoutExtensionItsExtension) {
    EXPECT_EQ(velmora::WithChosenExtension("/home/u/take", ".csv"), "/home/u/take.csv");
    EXPECT_EQ(velmora::WithChosenExtension("/home/u/take.txt", ".csv"), "/home/u/take.txt");
    EXPECT_EQ(velmora::WithChosenExtension("/home/u.d/take", ".csv"), "/home/u.d/take.csv");
    EXPECT_EQ(velmora::WithChosenExtension("/home/u/.hidden", ".csv"), "/home/u/.hidden.csv");
    EXPECT_EQ(velmora::WithChosenExtension("/home/u/", ".csv"), "/home/u/");
}
