// The settings file "Velmora.ini": loaded whole into a list of lines once at
// start, looked up by key, and written whole anew at close. Texts are
// single-byte Windows-1252; every line of the file ends with CR LF.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/file_result.h"

namespace velmora {

// The largest settings file that is read; a real one has eleven short lines.
inline constexpr std::size_t kMaxSettingsFileBytes = std::size_t{1} << 20;

// The eight stored values, each as written to the file. Defaults are the
// values of a fresh installation.
struct SettingsValues {
    int midiIn = 0;                  // index of the chosen input device
    int midiOut = 0;                 // index of the chosen main output device
    int midiThru = 1;                // thru to the main output: 1 on, 0 off
    int activeSenseLed = 1;          // 1/0
    int afterTouchMonitorFilter = 0; // 1/0
    int jumpData = 1;                // 1/0
    int jumpSysex = 1;               // 1/0
    int clearSysex = 0;              // 1/0
    // Settings beyond these, written after them under "[More]" as
    // NAME=VALUE lines, in this order, a value with control characters
    // escaped (core/ini_value_text.h); none are written when empty.
    std::vector<std::pair<std::string, std::string>> more;
};

class SettingsFile {
  public:
    // The lines of the file after LoadParam, the lines written by SaveParam.
    std::vector<std::string> memoIni;

    // Empties memoIni, then loads the lines of the file at `path` if one
    // exists. A missing file is not an error (every key then counts as
    // missing); a file that exists but cannot be read is, and leaves
    // memoIni empty. Only a regular file of at most kMaxSettingsFileBytes
    // is read: a FIFO or a device (a link to /dev/zero) is an error at once,
    // never a wait. SettingsFileMessage words a failure.
    FileResult LoadParam(const std::filesystem::path& path);

    // The value of the first line whose name (the text before its first
    // "=") equals `key`, letter case aside; -1 when there is no such line,
    // when its value is empty or when the number does not fit 32 bits.
    int ReadIni(std::string_view key) const;
    // The text after "=" of that line, its escapes read back (see
    // core/ini_value_text.h); nothing when there is none.
    std::optional<std::string> ReadIniText(std::string_view key) const;

    // Replaces memoIni by the eleven lines for `values` and writes them to
    // `path` with ReplaceFile of core/safe_file.h: written beside the old
    // file and renamed over it, so a failed write leaves the old file as it
    // was; a link planted by another user in a shared folder is refused.
    FileResult SaveParam(const std::filesystem::path& path, const SettingsValues& values);
};

// What the user is told when LoadParam (`saving` false) or SaveParam failed
// on `path`: "Cannot read the settings file "PATH": REASON".
std::string SettingsFileMessage(bool saving, const std::filesystem::path& path,
                                const FileResult& result);

// The number at the start of a stored value, as ReadIni converts it: leading
// blanks skipped, then an optional sign and decimal digits, or a hex prefix
// ("$", "x", "X", "0x", "0X") and hex digits; stops at the first character
// that does not fit. -1 when the number does not fit 32 bits.
int IniValueToInt(std::string_view value);

// A stored switch: 1 is on, -1 (missing) keeps the default, anything else is off.
bool StoredSwitch(int stored, bool defaultOn);

// A stored device number as ReadIni gives it: nothing when the key is
// missing, and also for any negative number ("MidiIn=-5" counts as missing,
// like "MidiIn=-1" and an absurd value).
std::optional<int> StoredDeviceNumber(int stored);

// A stored device index, used only when it names one of `deviceCount`
// devices; device 0 when it is missing (negatives included) or beyond the
// list.
int StoredDevice(int stored, int deviceCount);

} // namespace velmora
