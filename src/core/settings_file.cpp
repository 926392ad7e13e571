#include "core/settings_file.h"

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr char kLineEnd[] = "\r\n";

SettingsResult Failure(std::string_view what, const fs::path& path, const std::string& reason) {
    SettingsResult result;
    result.ok = false;
    result.message = std::string(what) + " \"" + path.string() + "\": " + reason;
    return result;
}

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

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

// A name for the new file beside the target that no other writer uses.
fs::path TempNameBeside(const fs::path& target, int attempt) {
    static std::atomic<std::uint32_t> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path name = target;
    name += "." + std::to_string(static_cast<std::uint64_t>(stamp) & 0xFFFFFFu) + "-" +
            std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt) + ".tmp";
    return name;
}

bool WriteAll(std::FILE* file, const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        return false;
    }
    if (std::fflush(file) != 0) {
        return false;
    }
#if defined(__unix__) || defined(__APPLE__)
    // On disk before the rename makes it the settings file.
    if (fsync(fileno(file)) != 0) {
        return false;
    }
#endif
    return true;
}

// Writes `text` to a new file beside `path` and renames it over `path`.
SettingsResult ReplaceFile(const fs::path& path, const std::string& text) {
    constexpr std::string_view kWhat = "Cannot write the settings file";
    std::error_code ec;
    // Through a link, replace the file it names and keep the link.
    fs::path target = path;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path link = fs::read_symlink(target, ec);
        if (ec || hops == 40) {
            return Failure(kWhat, path, ec ? ec.message() : ErrnoText(ELOOP));
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    const fs::file_status old = fs::status(target, ec);
    const bool oldExists = fs::exists(old);
    if (oldExists && !fs::is_regular_file(old)) {
        // A folder or a device such as /dev/full: never replaced by a file.
        return Failure(kWhat, path, "not a regular file");
    }

    fs::path temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && file == nullptr; ++attempt) {
        temp = TempNameBeside(target, attempt);
        errno = 0;
        file = OpenFile(temp, "wbx");
        if (file == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (file == nullptr) {
        return Failure(kWhat, path, ErrnoText(errno != 0 ? errno : EEXIST));
    }

    errno = 0;
    const bool written = WriteAll(file, text);
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    if (!written || !closed) {
        fs::remove(temp, ec);
        const int error = !written ? writeError : closeError;
        return Failure(kWhat, path, ErrnoText(error != 0 ? error : EIO));
    }
    if (oldExists) {
        fs::permissions(temp, old.permissions(), ec); // best effort
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return Failure(kWhat, path, ec.message());
    }
    return {};
}

} // namespace

SettingsResult SettingsFile::LoadParam(const fs::path& path) {
    constexpr std::string_view kWhat = "Cannot read the settings file";
    memoIni.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return {};
    }
    if (ec) {
        return Failure(kWhat, path, ec.message());
    }

    errno = 0;
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        return Failure(kWhat, path, ErrnoText(errno != 0 ? errno : EIO));
    }
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    const int readError = errno;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return Failure(kWhat, path, ErrnoText(readError != 0 ? readError : EIO));
    }
    memoIni = SplitLines(text);
    return {};
}

std::optional<std::string> SettingsFile::ReadIniText(std::string_view key) const {
    for (const std::string& line : memoIni) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            EqualsIgnoringCase(std::string_view(line).substr(0, equals), key)) {
            return line.substr(equals + 1);
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

SettingsResult SettingsFile::SaveParam(const fs::path& path, const SettingsValues& values) {
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
            std::string line = name + "=" + value;
            std::replace_if(
                line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; },
                ' '); // one setting, one line
            memoIni.push_back(std::move(line));
        }
    }
    std::string text;
    for (const std::string& line : memoIni) {
        text += line;
        text += kLineEnd;
    }
    return ReplaceFile(path, text);
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

int StoredDevice(int stored, int deviceCount) {
    return (stored >= 0 && stored < deviceCount) ? stored : 0;
}

} // namespace velmora
