#include "core/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "core/ini_value_text.h"
#include "core/safe_file.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr char kLineEnd[] = "\r\n";

// Lines end with CR LF, LF or a lone CR; a final line without an end counts.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            continue;
        }
        lines.emplace_back(text, start, i - start);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.emplace_back(text, start);
    }
    return lines;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

int DigitValue(char c, int base) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    }
    return digit < base ? digit : -1;
}

} // namespace

FileResult SettingsFile::LoadParam(const fs::path& path) {
    memoIni.clear();
    const FileContents contents = ReadRegularFile(path, kMaxSettingsFileBytes);
    if (!contents.result) {
        const bool missing = contents.result.fault == FileFault::System &&
                             (contents.result.error == ENOENT || contents.result.error == ENOTDIR);
        return missing ? FileResult{} : contents.result;
    }
    memoIni = SplitLines(std::string(contents.bytes.begin(), contents.bytes.end()));
    return {};
}

std::optional<std::string> SettingsFile::ReadIniText(std::string_view key) const {
    for (const std::string& line : memoIni) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            EqualsIgnoringCase(std::string_view(line).substr(0, equals), key)) {
            return UnescapeIniValue(std::string_view(line).substr(equals + 1));
        }
    }
    return std::nullopt;
}

int SettingsFile::ReadIni(std::string_view key) const {
    for (const std::string& line : memoIni) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string_view text(line);
        if (!EqualsIgnoringCase(text.substr(0, equals), key)) {
            continue;
        }
        const std::string_view value = text.substr(equals + 1);
        return value.empty() ? -1 : IniValueToInt(value);
    }
    return -1;
}

FileResult SettingsFile::SaveParam(const fs::path& path, const SettingsValues& values) {
    memoIni = {
        "[Velmora]",
        "[Devices]",
        "MidiIn=" + std::to_string(values.midiIn),
        "MidiOut=" + std::to_string(values.midiOut),
        "MidiThru=" + std::to_string(values.midiThru),
        "[Preference]",
        "ActiveSenseLED=" + std::to_string(values.activeSenseLed),
        "AfterTouchMonitorFilter=" + std::to_string(values.afterTouchMonitorFilter),
        "JumpData=" + std::to_string(values.jumpData),
        "JumpSysex=" + std::to_string(values.jumpSysex),
        "ClearSysex=" + std::to_string(values.clearSysex),
    };
    if (!values.more.empty()) {
        memoIni.push_back("[More]");
        for (const auto& [name, value] : values.more) {
            memoIni.push_back(name + "=" + EscapeIniValue(value)); // one setting, one line
        }
    }
    std::string text;
    for (const std::string& line : memoIni) {
        text += line;
        text += kLineEnd;
    }
    return ReplaceFile(path,
                       std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string SettingsFileMessage(bool saving, const fs::path& path, const FileResult& result) {
    return std::string(saving ? "Cannot write" : "Cannot read") + " the settings file \"" +
           path.string() + "\": " + FileFaultText(result);
}

int IniValueToInt(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) {
        ++i;
    }
    int base = 10;
    bool negative = false;
    if (i < value.size() && (value[i] == '$' || value[i] == 'x' || value[i] == 'X')) {
        base = 16;
        i += 1;
    } else if (i + 1 < value.size() && value[i] == '0' &&
               (value[i + 1] == 'x' || value[i + 1] == 'X')) {
        base = 16;
        i += 2;
    } else if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        i += 1;
    }
    // The largest magnitude that still fits: 2^31 only for a negative number.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t number = 0;
    for (; i < value.size(); ++i) {
        const int digit = DigitValue(value[i], base);
        if (digit < 0) {
            break;
        }
        number = number * base + digit;
        if (number > limit) {
            return -1;
        }
    }
    return static_cast<int>(negative ? -number : number);
}

bool StoredSwitch(int stored, bool defaultOn) {
    if (stored == -1) {
        return defaultOn;
    }
    return stored == 1;
}

std::optional<int> StoredDeviceNumber(int stored) {
    if (stored < 0) {
        return std::nullopt;
    }
    return stored;
}

int StoredDevice(int stored, int deviceCount) {
    const std::optional<int> number = StoredDeviceNumber(stored);
    return (number && *number < deviceCount) ? *number : 0;
}

} // namespace velmora
