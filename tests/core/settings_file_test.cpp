#include "core/router_rows.h"
#include "core/settings_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <random>

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// A fresh folder for one test, removed afterwards.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("velmora-settings-" + std::to_string(random()));
        fs::create_directories(folder_);
        path_ = folder_ / "Velmora.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_, ec);
    }

    void WriteFile(const std::string& bytes) const {
        std::ofstream out(path_, std::ios::binary);
        out << bytes;
    }
    std::string ReadFile() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    fs::path folder_;
    fs::path path_;
};

SettingsFile WithLines(std::vector<std::string> lines) {
    SettingsFile settings;
    settings.memoIni = std::move(lines);
    return settings;
}

const char kDefaultFile[] = "[Velmora]\r\n[Devices]\r\nMidiIn=0\r\nMidiOut=0\r\nMidiThru=1\r\n"
                            "[Preference]\r\nActiveSenseLED=1\r\nAfterTouchMonitorFilter=0\r\n"
                            "JumpData=1\r\nJumpSysex=1\r\nClearSysex=0\r\n";

} // namespace

TEST(IniValue, ConvertsTheLeadingNumber) {
    EXPECT_EQ(IniValueToInt("1"), 1);
    EXPECT_EQ(IniValueToInt("1 "), 1);
    EXPECT_EQ(IniValueToInt("   42"), 42);
    EXPECT_EQ(IniValueToInt("12a"), 12);
    EXPECT_EQ(IniValueToInt("abc"), 0);
    EXPECT_EQ(IniValueToInt("+7"), 7);
    EXPECT_EQ(IniValueToInt("-3"), -3);
    EXPECT_EQ(IniValueToInt("- 3"), 0);
    EXPECT_EQ(IniValueToInt("$1F"), 31);
    EXPECT_EQ(IniValueToInt("$1fz"), 31);
    EXPECT_EQ(IniValueToInt("0x1f"), 31);
    EXPECT_EQ(IniValueToInt("0X1F"), 31);
    EXPECT_EQ(IniValueToInt("x10"), 16);
    EXPECT_EQ(IniValueToInt("X10"), 16);
    EXPECT_EQ(IniValueToInt("0x"), 0);
    EXPECT_EQ(IniValueToInt("-$1F"), 0); // a sign takes decimal digits only
    EXPECT_EQ(IniValueToInt("1e3"), 1);
}

TEST(IniValue, NumbersBeyond32BitsCountAsMissing) {
    EXPECT_EQ(IniValueToInt("2147483647"), 2147483647);
    EXPECT_EQ(IniValueToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(IniValueToInt("0x7FFFFFFF"), 2147483647);
    EXPECT_EQ(IniValueToInt("2147483648"), -1);
    EXPECT_EQ(IniValueToInt("99999999999"), -1);
    EXPECT_EQ(IniValueToInt("0x1FFFFFFFF"), -1);
    EXPECT_EQ(IniValueToInt(std::string(5000, '9')), -1);
    EXPECT_EQ(IniValueToInt("$" + std::string(5000, 'F')), -1);
    EXPECT_EQ(IniValueToInt("000000000000000000000000000012"), 12);
}

TEST(ReadIni, FindsTheFirstMatchingNameWhateverTheCase) {
    const SettingsFile settings =
        WithLines({"[Preference]", "no equals sign JumpData", "JUMPDATA=0", "JumpData=1"});
    EXPECT_EQ(settings.ReadIni("JumpData"), 0);
    EXPECT_EQ(settings.ReadIni("jumpdata"), 0);
}

TEST(ReadIni, BlanksAndMissingValues) {
    const SettingsFile settings = WithLines(
        {" MidiIn=3", "MidiOut =2", "MidiThru=", "JumpSysex=-1", "ClearSysex= 1 ", "Odd=a=5"});
    EXPECT_EQ(settings.ReadIni("MidiIn"), -1); // a leading blank is part of the name
    EXPECT_EQ(settings.ReadIni("MidiOut"), -1);
    EXPECT_EQ(settings.ReadIni("MidiThru"), -1); // empty value
    EXPECT_EQ(settings.ReadIni("JumpSysex"), -1);
    EXPECT_EQ(settings.ReadIni("ClearSysex"), 1);
    EXPECT_EQ(settings.ReadIni("Odd"), 0); // name before the first "=", rest is the value
    EXPECT_EQ(settings.ReadIni("Absent"), -1);
    EXPECT_EQ(SettingsFile{}.ReadIni("MidiIn"), -1);
}

TEST(ReadIni, AbsurdValuesCountAsMissing) {
    const SettingsFile settings = WithLines({"MidiIn=99999999999", "MidiOut=0x1FFFFFFFF"});
    EXPECT_EQ(settings.ReadIni("MidiIn"), -1);
    EXPECT_EQ(settings.ReadIni("MidiOut"), -1);
}

TEST(StoredValues, SwitchesAndDevices) {
    EXPECT_FALSE(StoredSwitch(0, true));
    EXPECT_FALSE(StoredSwitch(2, true)); // anything but 1 is off
    EXPECT_TRUE(StoredSwitch(-1, true)); // missing keeps the default
    EXPECT_FALSE(StoredSwitch(-1, false));
    EXPECT_TRUE(StoredSwitch(1, false));
    EXPECT_EQ(StoredDevice(2, 3), 2);
    EXPECT_EQ(StoredDevice(5, 3), 0); // beyond the list
    EXPECT_EQ(StoredDevice(-1, 3), 0);
    EXPECT_EQ(StoredDevice(-7, 3), 0);
    EXPECT_EQ(StoredDevice(0, 0), 0);
    // Any negative number counts as missing, as -1 does.
    EXPECT_EQ(StoredDeviceNumber(3), 3);
    EXPECT_EQ(StoredDeviceNumber(0), 0);
    EXPECT_EQ(StoredDeviceNumber(-1), std::nullopt);
    EXPECT_EQ(StoredDeviceNumber(-5), std::nullopt);
    EXPECT_EQ(StoredDeviceNumber(WithLines({"MidiIn=-5"}).ReadIni("MidiIn")), std::nullopt);
}

TEST_F(SettingsFileTest, MissingFileLoadsNothing) {
    SettingsFile settings;
    settings.memoIni = {"stale=1"};
    EXPECT_TRUE(settings.LoadParam(path_));
    EXPECT_TRUE(settings.memoIni.empty());
    EXPECT_EQ(settings.ReadIni("stale"), -1);
}

TEST_F(SettingsFileTest, KeysAreFoundInAnyOrderAndSection) {
    WriteFile("[Other]\nClearSysex=1\r\nJumpData=2\rjunk line\r\n[Devices]\r\nMidiIn=$2\r\n"
              "MidiOut=1");
    SettingsFile settings;
    ASSERT_TRUE(settings.LoadParam(path_));
    ASSERT_EQ(settings.memoIni.size(), 7u);
    EXPECT_EQ(settings.ReadIni("MidiIn"), 2);
    EXPECT_EQ(settings.ReadIni("MidiOut"), 1); // last line without an end
    EXPECT_EQ(settings.ReadIni("ClearSysex"), 1);
    EXPECT_FALSE(StoredSwitch(settings.ReadIni("JumpData"), true));
    EXPECT_EQ(settings.ReadIni("JumpSysex"), -1);
}

TEST_F(SettingsFileTest, SectionLineAloneReadsAsMissing) {
    WriteFile("[Velmora]\r\n");
    SettingsFile settings;
    ASSERT_TRUE(settings.LoadParam(path_));
    for (const char* key : {"MidiIn", "MidiOut", "MidiThru", "ActiveSenseLED",
                            "AfterTouchMonitorFilter", "JumpData", "JumpSysex", "ClearSysex"}) {
        EXPECT_EQ(settings.ReadIni(key), -1) << key;
    }
}

TEST_F(SettingsFileTest, UnreadableFileIsAnError) {
    // A folder where the file should be fails to read even for root.
    fs::create_directory(path_);
    SettingsFile settings;
    settings.memoIni = {"stale=1"};
    const FileResult result = settings.LoadParam(path_);
    EXPECT_EQ(result.error, EISDIR);
    EXPECT_EQ(SettingsFileMessage(false, path_, result),
              "Cannot read the settings file \"" + path_.string() + "\": Is a directory");
    EXPECT_TRUE(settings.memoIni.empty());
}

TEST_F(SettingsFileTest, SaveWritesTheElevenLinesWithCrLf) {
    SettingsFile settings;
    ASSERT_TRUE(settings.SaveParam(path_, SettingsValues{}));
    EXPECT_EQ(ReadFile(), kDefaultFile);
    EXPECT_EQ(settings.memoIni.size(), 11u);
    EXPECT_EQ(FilesInFolder(), 1u); // no temporary file left

    SettingsValues values;
    values.midiIn = 3;
    values.midiOut = 12;
    values.midiThru = 0;
    values.clearSysex = 1;
    ASSERT_TRUE(settings.SaveParam(path_, values));
    SettingsFile reread;
    ASSERT_TRUE(reread.LoadParam(path_));
    EXPECT_EQ(reread.memoIni, settings.memoIni);
    EXPECT_EQ(reread.ReadIni("MidiIn"), 3);
    EXPECT_EQ(reread.ReadIni("MidiOut"), 12);
    EXPECT_EQ(reread.ReadIni("MidiThru"), 0);
    EXPECT_EQ(reread.ReadIni("ClearSysex"), 1);
}

TEST_F(SettingsFileTest, SaveRepairsADamagedFile) {
    WriteFile("garbage\r\nMidiIn=\r\nOther=9\r\n");
    SettingsFile settings;
    ASSERT_TRUE(settings.LoadParam(path_));
    ASSERT_TRUE(settings.SaveParam(path_, SettingsValues{}));
    EXPECT_EQ(ReadFile(), kDefaultFile);
}

#if defined(__linux__)
TEST_F(SettingsFileTest, SaveIntoAReadOnlyFolderFails) {
    // sysfs takes no new files, not even from root.
    SettingsFile settings;
    EXPECT_FALSE(settings.SaveParam("/sys/Velmora.ini", SettingsValues{}));
    EXPECT_FALSE(fs::exists("/sys/Velmora.ini"));
}
#endif

TEST_F(SettingsFileTest, SaveIntoAMissingFolderFails) {
    SettingsFile settings;
    const fs::path path = folder_ / "no such folder" / "Velmora.ini";
    const FileResult result = settings.SaveParam(path, SettingsValues{});
    EXPECT_EQ(SettingsFileMessage(true, path, result),
              "Cannot write the settings file \"" + path.string() + "\": file not found");
}

TEST_F(SettingsFileTest, SaveOverAFolderOrDeviceFailsAndKeepsIt) {
    fs::create_directory(path_);
    SettingsFile settings;
    EXPECT_FALSE(settings.SaveParam(path_, SettingsValues{}));
    EXPECT_TRUE(fs::is_directory(path_));
#if defined(__linux__)
    EXPECT_EQ(settings.SaveParam("/dev/full", SettingsValues{}).error, ENOSPC);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
#endif
}

#if defined(__unix__)
TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFile) {
    WriteFile("MidiIn=2\r\n");
    SettingsFile settings;
    // A file size limit makes the write itself fail, for root too.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileResult result = settings.SaveParam(path_, SettingsValues{});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(result.error, EFBIG);
    EXPECT_NE(FileFaultText(result).find("too large"), std::string::npos) << FileFaultText(result);
    EXPECT_EQ(ReadFile(), "MidiIn=2\r\n");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SettingsFileTest, AFifoOrADeviceIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    SettingsFile settings;
    EXPECT_EQ(settings.LoadParam(path_).fault, FileFault::NotAFile);
    fs::remove(path_);
    fs::create_symlink("/dev/zero", path_);
    EXPECT_FALSE(settings.LoadParam(path_));
    EXPECT_TRUE(settings.memoIni.empty());
}

TEST_F(SettingsFileTest, SaveThroughALinkKeepsTheLink) {
    const fs::path real = folder_ / "real.ini";
    fs::create_symlink(real, path_);
    SettingsFile settings;
    ASSERT_TRUE(settings.SaveParam(path_, SettingsValues{}));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadFile(), kDefaultFile);
}
#endif

// Device names hold whatever their clients chose: control characters,
// quotes, the file's own "=", "[", ";", UTF-8. Each reads back exactly; a
// name without control characters is written as it stands, as before.
TEST_F(SettingsFileTest, TextValuesReadBackExactly) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Plain", "Keys 1:in"},
        {"Marks", "a=b [c] ;d \"e\" f\\g"},
        {"Utf8", "Synth\xC3\xA9 \xE2\x98\x83"},
        {"Breaks", "Port\r\nwith\rbreaks\n"},
        {"Tabs", "\tTab\tbed\x1B[31m\x7F\x01"},
        {"Quoted", "\"quoted\""},
        {"Escapes", "\"\\r\\n\\x41 \\\""},
        {"Empty", ""},
    };
    SettingsValues values;
    values.more = names;
    SettingsFile settings;
    ASSERT_TRUE(settings.SaveParam(path_, values));
    const std::string text = ReadFile();
    EXPECT_NE(text.find("\r\nPlain=Keys 1:in\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nMarks=a=b [c] ;d \"e\" f\\g\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nUtf8=Synth\xC3\xA9 \xE2\x98\x83\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nBreaks=\"Port\\r\\nwith\\rbreaks\\n\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nTabs=\"\\tTab\\tbed\\x1B[31m\\x7F\\x01\"\r\n"), std::string::npos);
    EXPECT_EQ(settings.memoIni.size(), 11u + 1u + names.size()); // one line each

    SettingsFile reread;
    ASSERT_TRUE(reread.LoadParam(path_));
    for (const auto& [key, value] : names) {
        EXPECT_EQ(reread.ReadIniText(key), value) << key;
    }
    // Texts that look quoted but are not what a save writes stay as they are.
    const SettingsFile hand = WithLines({"A=\"open", "B=\"bad \\q\"", "C=\"x\"y\"", "D=\"\\x4\""});
    EXPECT_EQ(hand.ReadIniText("A"), "\"open");
    EXPECT_EQ(hand.ReadIniText("B"), "\"bad \\q\"");
    EXPECT_EQ(hand.ReadIniText("C"), "\"x\"y\"");
    EXPECT_EQ(hand.ReadIniText("D"), "\"\\x4\"");
}

TEST(RouterRows, ReadBackAsWrittenAndOddValuesRefused) {
    const RouterRow row{true, "Synth, Port 2", 16, 48, 0, 127};
    EXPECT_EQ(RouterRowText(row), "1,16,48,0,127,Synth, Port 2");
    EXPECT_EQ(RouterRowFrom(RouterRowText(row)), row);
    EXPECT_EQ(RouterRowFrom("0,0,24,0,127,"), RouterRow{});
    EXPECT_EQ(RouterRowKey(4), "Router4");
    EXPECT_TRUE(DefaultRouterRows()[0].on);
    EXPECT_FALSE(DefaultRouterRows()[3].on);
    for (const char* odd :
         {"", "1,2,3", "2,0,24,0,127,A", "1,17,24,0,127,A", "1,0,49,0,127,A", "1,0,24,-1,127,A",
          "1,0,24,0,128,A", "1,0,x4,0,127,A", "1,,24,0,127,A"}) {
        EXPECT_EQ(RouterRowFrom(odd), std::nullopt) << odd;
    }
}
