// The cut of a .syx file into messages and blocks, and reading and writing
// .syx files on a real file system (failures included).
#include "core/sysex_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

#include "core/cp1252.h"
#include "core/sysex_file_io.h"
#include "support/sysex_dump.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using velmora::testing::Joined;
using velmora::testing::SysexDump;

// What the windows show for a failed load or save.
std::string Shown(const FileResult& result, FileTask task = FileTask::SysexLoad) {
    return FileFaultText(result, Language::French, task);
}

// The blocks as (offset, length, starts, ends).
using Shape = std::tuple<std::size_t, std::size_t, bool, bool>;
std::vector<Shape> Shapes(const SysexSendPlan& plan) {
    std::vector<Shape> s;
    for (const SysexBlock& b : plan.blocks) {
        s.emplace_back(b.offset, b.length, b.startsMessage, b.endsMessage);
    }
    return s;
}

// The messages the plan sends, each its blocks joined.
std::vector<Bytes> SentMessages(const Bytes& file, const SysexSendPlan& plan) {
    std::vector<Bytes> messages;
    for (const SysexBlock& b : plan.blocks) {
        if (b.startsMessage) {
            messages.emplace_back();
        }
        messages.back().insert(messages.back().end(), file.begin() + b.offset,
                               file.begin() + b.offset + b.length);
    }
    return messages;
}

} // namespace

TEST(CutSysexFile, TwoCompleteMessagesGoAsTwoBlocks) {
    const Bytes file = Joined({SysexDump(20), SysexDump(30)});
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(Shapes(plan), (std::vector<Shape>{{0, 20, true, true}, {20, 30, true, true}}));
    EXPECT_EQ(plan.blocks[0].number, 1);
    EXPECT_EQ(plan.blocks[1].number, 2);
    EXPECT_EQ(plan.blocks[0].progress, 20u);
    EXPECT_EQ(plan.blocks[1].progress, 50u);
    EXPECT_EQ(plan.gaugeMaximum, 50u);
    EXPECT_EQ(plan.bytesToSend, 50u);
    EXPECT_EQ(plan.messages, 2);
    EXPECT_FALSE(plan.truncatedLastMessage);
}

TEST(CutSysexFile, LongMessagesGoInBlocksOf4096) {
    // 10000 bytes: 4096, 4096, 1808, with the progress the status shows.
    const SysexSendPlan plan = CutSysexFile(SysexDump(10000));
    EXPECT_EQ(Shapes(plan),
              (std::vector<Shape>{
                  {0, 4096, true, false}, {4096, 4096, false, false}, {8192, 1808, false, true}}));
    EXPECT_EQ(plan.blocks[2].number, 3);
    EXPECT_EQ(plan.blocks[1].progress, 8192u);
    EXPECT_EQ(plan.blocks[2].progress, 10000u);

    // A bank dump: F0 43 00 09 20 00, 4096 data bytes, checksum, F7.
    Bytes bank = {0xF0, 0x43, 0x00, 0x09, 0x20, 0x00};
    for (int i = 0; i < 4096; ++i) {
        bank.push_back(static_cast<std::uint8_t>(i * 7 % 128));
    }
    bank.push_back(0x55);
    bank.push_back(0xF7);
    ASSERT_EQ(bank.size(), 4104u);
    EXPECT_EQ(Shapes(CutSysexFile(bank)),
              (std::vector<Shape>{{0, 4096, true, false}, {4096, 8, false, true}}));

    // Exactly one block long, and one byte more: the F7 alone in a block.
    EXPECT_EQ(Shapes(CutSysexFile(SysexDump(4096))), (std::vector<Shape>{{0, 4096, true, true}}));
    EXPECT_EQ(Shapes(CutSysexFile(SysexDump(4097))),
              (std::vector<Shape>{{0, 4096, true, false}, {4096, 1, false, true}}));
}

TEST(CutSysexFile, A300KilobyteDumpIsSentWholeMessageByMessage) {
    std::vector<Bytes> messages;
    Bytes file;
    const std::size_t sizes[] = {2, 3, 4095, 4096, 4097, 8192, 8193, 10000, 127};
    for (std::size_t i = 0; file.size() < 300 * 1024; ++i) {
        messages.push_back(SysexDump(sizes[i % std::size(sizes)], static_cast<std::uint8_t>(i)));
        file.insert(file.end(), messages.back().begin(), messages.back().end());
    }
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(SentMessages(file, plan), messages);
    EXPECT_EQ(plan.bytesToSend, file.size());
    EXPECT_EQ(plan.messages, static_cast<int>(messages.size()));
    std::size_t expectedOffset = 0;
    for (const SysexBlock& b : plan.blocks) {
        EXPECT_EQ(b.offset, expectedOffset);
        EXPECT_LE(b.length, kSysexBlockBytes);
        // Only the last block of a message may be shorter than 4096.
        EXPECT_TRUE(b.endsMessage || b.length == kSysexBlockBytes);
        expectedOffset += b.length;
        EXPECT_EQ(b.progress, expectedOffset);
    }
}

TEST(CutSysexFile, JunkBeforeTheFirstF0GoesWithTheFirstMessage) {
    const Bytes file = {0x01, 0x02, 0xF0, 0x43, 0xF7, 0xF0, 0x44, 0xF7};
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(Shapes(plan), (std::vector<Shape>{{0, 5, true, true}, {5, 3, true, true}}));

    // Junk long enough to push the first message over a block boundary.
    Bytes longJunk(5000, 0x11);
    const Bytes withLongJunk = Joined({longJunk, SysexDump(10)});
    EXPECT_EQ(Shapes(CutSysexFile(withLongJunk)),
              (std::vector<Shape>{{0, 4096, true, false}, {4096, 914, false, true}}));
}

TEST(CutSysexFile, BytesAfterTheLastF7WithoutF0AreNeitherSentNorCounted) {
    const Bytes file = Joined({SysexDump(10), {0x11, 0x22, 0xF7, 0x33}});
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(Shapes(plan), (std::vector<Shape>{{0, 10, true, true}}));
    EXPECT_EQ(plan.bytesToSend, 10u);
    EXPECT_EQ(plan.gaugeMaximum, 14u); // the gauge still spans the whole file
}

TEST(CutSysexFile, AMessageRunsToTheNextF7WhateverItStartsWith) {
    // The rest 41 F7 F0 42 F7 after a message: the messages 41 F7 and F0 42 F7.
    const Bytes file = Joined({SysexDump(5), {0x41, 0xF7, 0xF0, 0x42, 0xF7}});
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(SentMessages(file, plan),
              (std::vector<Bytes>{SysexDump(5), {0x41, 0xF7}, {0xF0, 0x42, 0xF7}}));

    // An F7 before any F0 ends a message of its own.
    const Bytes strayEnd = {0xF7, 0xF0, 0x01, 0xF7};
    EXPECT_EQ(SentMessages(strayEnd, CutSysexFile(strayEnd)),
              (std::vector<Bytes>{{0xF7}, {0xF0, 0x01, 0xF7}}));
}

TEST(CutSysexFile, NothingIsSentFromAFileWithoutF0) {
    for (const Bytes& file : {Bytes{}, Bytes{0x11, 0xF7, 0x22}, Bytes{0xF7}, Bytes(9000, 0x7F)}) {
        const SysexSendPlan plan = CutSysexFile(file);
        EXPECT_TRUE(plan.blocks.empty());
        EXPECT_EQ(plan.bytesToSend, 0u);
        EXPECT_EQ(plan.messages, 0);
        EXPECT_EQ(plan.gaugeMaximum, file.size());
    }
}

TEST(CutSysexFile, ATruncatedLastMessageIsSentAsTheFinalMessage) {
    const Bytes file = {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03};
    const SysexSendPlan plan = CutSysexFile(file);
    EXPECT_EQ(Shapes(plan), (std::vector<Shape>{{0, 3, true, true}, {3, 3, true, true}}));
    EXPECT_TRUE(plan.truncatedLastMessage);
    EXPECT_EQ(plan.bytesToSend, file.size());

    // Junk with an F0 after the last F7 goes the same way.
    const Bytes junkWithStart = {0xF0, 0x01, 0xF7, 0x05, 0xF0, 0x06};
    EXPECT_EQ(SentMessages(junkWithStart, CutSysexFile(junkWithStart)),
              (std::vector<Bytes>{{0xF0, 0x01, 0xF7}, {0x05, 0xF0, 0x06}}));

    // A long one without its F7 still goes in blocks of 4096.
    Bytes cut = SysexDump(5000);
    cut.pop_back();
    EXPECT_EQ(Shapes(CutSysexFile(cut)),
              (std::vector<Shape>{{0, 4096, true, false}, {4096, 903, false, true}}));
}

// --- Files.

namespace {

class SysexFileIo : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "velmora-syx-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    static void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

} // namespace

TEST_F(SysexFileIo, SavedBytesLoadBackIdentical) {
    Bytes all(300 * 1024);
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<std::uint8_t>(i * 31 + i / 256);
    }
    const std::string path = PathOf("dump.syx");
    ASSERT_TRUE(SaveSysexFile(path, all));
    const FileContents loaded = LoadSysexFile(path);
    ASSERT_TRUE(loaded.result) << Shown(loaded.result);
    EXPECT_EQ(loaded.bytes, all);
    EXPECT_EQ(Names(), std::vector<std::string>{"dump.syx"}); // nothing else left behind

    // Saving again replaces the file whole and keeps its permissions.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(SaveSysexFile(path, SysexDump(10)));
    EXPECT_EQ(LoadSysexFile(path).bytes, SysexDump(10));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(Names(), std::vector<std::string>{"dump.syx"});
}

TEST_F(SysexFileIo, AnEmptyFileLoadsAsNothing) {
    const std::string path = PathOf("empty.syx");
    Write(path, {});
    const FileContents loaded = LoadSysexFile(path);
    EXPECT_TRUE(loaded.result);
    EXPECT_TRUE(loaded.bytes.empty());
    ASSERT_TRUE(SaveSysexFile(PathOf("saved-empty.syx"), {}));
    EXPECT_EQ(fs::file_size(PathOf("saved-empty.syx")), 0u);
}

TEST_F(SysexFileIo, AMissingFileIsNotFound) {
    const FileContents loaded = LoadSysexFile(PathOf("missing.syx"));
    EXPECT_EQ(loaded.result.fault, FileFault::System);
    EXPECT_EQ(loaded.result.error, ENOENT);
    EXPECT_EQ(Shown(loaded.result), "Fichier introuvable");
    // A missing folder, when saving.
    const FileResult saved = SaveSysexFile(PathOf("no-folder/x.syx"), SysexDump(4));
    EXPECT_EQ(Shown(saved, FileTask::SysexSave), "Fichier introuvable");
}

TEST_F(SysexFileIo, AFullDiskSaysDisquePlein) {
    // /dev/full takes no byte: ENOSPC. Written in place, never replaced.
    struct stat device {};
    if (::stat("/dev/full", &device) != 0 || !S_ISCHR(device.st_mode)) {
        GTEST_SKIP() << "no /dev/full device here";
    }
    const FileResult saved = SaveSysexFile("/dev/full", SysexDump(5000));
    EXPECT_EQ(saved.fault, FileFault::System);
    EXPECT_EQ(saved.error, ENOSPC);
    EXPECT_EQ(Shown(saved, FileTask::SysexSave), "Disque plein");
    struct stat st {};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A link to it is followed, not replaced.
    const std::string link = PathOf("full.syx");
    fs::create_symlink("/dev/full", link);
    EXPECT_EQ(SaveSysexFile(link, SysexDump(10)).error, ENOSPC);
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(SysexFileIo, AFileUsedAsAFolderIsAnOtherError) {
    const std::string plain = PathOf("plain");
    Write(plain, {1, 2, 3});
    const FileResult saved = SaveSysexFile(plain + "/x.syx", SysexDump(4));
    EXPECT_EQ(saved.error, ENOTDIR);
    EXPECT_EQ(Shown(saved), "Erreur E/S 20");
    EXPECT_EQ(Shown(LoadSysexFile(plain + "/x.syx").result), "Erreur E/S 20");
    // A folder is neither saved over nor loaded.
    EXPECT_EQ(Shown(SaveSysexFile(dir_.string(), SysexDump(4))), "Erreur E/S 21");
    EXPECT_EQ(Shown(LoadSysexFile(dir_.string()).result), "Erreur E/S 21");
    EXPECT_EQ(Names(), std::vector<std::string>{"plain"});
}

TEST_F(SysexFileIo, AFifoOrADeviceIsNotLoaded) {
    const std::string fifo = PathOf("fifo.syx");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        const FileContents loaded = LoadSysexFile(path);
        EXPECT_EQ(loaded.result.fault, FileFault::NotAFile) << path;
        EXPECT_EQ(Shown(loaded.result), "Pas un fichier ordinaire") << path;
    }
}

TEST_F(SysexFileIo, ALinkIsFollowedToTheFileItLeadsTo) {
    const std::string real = PathOf("real.syx");
    Write(real, {1, 2, 3});
    fs::create_symlink("real.syx", PathOf("link.syx"));
    ASSERT_TRUE(SaveSysexFile(PathOf("link.syx"), SysexDump(6)));
    EXPECT_TRUE(fs::is_symlink(PathOf("link.syx")));
    EXPECT_EQ(LoadSysexFile(real).bytes, SysexDump(6));
}

TEST(SysexFileErrors, AccessRefused) {
    // Refused even to root: sysfs takes no new files, and a write-only
    // attribute can't be opened for reading.
    const FileResult saved = SaveSysexFile("/sys/velmora-test.syx", SysexDump(4));
    if (saved.error == EACCES) {
        EXPECT_EQ(Shown(saved, FileTask::SysexSave), "Acc\xE8s au fichier refus\xE9");
    }
    if (fs::exists("/sys/bus/pci/rescan")) {
        const FileContents loaded = LoadSysexFile("/sys/bus/pci/rescan");
        EXPECT_EQ(loaded.result.error, EACCES);
        EXPECT_EQ(Shown(loaded.result), "Acc\xE8s au fichier refus\xE9");
    }
}
