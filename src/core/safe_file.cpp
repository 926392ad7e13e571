// The parts of the safe file functions that every system shares: the names
// of the new files. The system calls are in safe_file_posix.cpp and
// safe_file_windows.cpp.
#include "core/safe_file.h"

#include <charconv>

namespace velmora {

namespace {

// Room for the dots, the PID, the serial and ".part" within the 255 bytes a
// file name may have.
constexpr std::size_t kMaxNameKept = 200;

std::string_view CutName(std::string_view name) {
    if (name.size() <= kMaxNameKept) {
        return name;
    }
    std::size_t end = kMaxNameKept;
    // Never inside a UTF-8 sequence.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return name.substr(0, end);
}

// The decimal number at the start of `text` (digits only), and what follows.
std::optional<long> TakeNumber(std::string_view& text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || text.front() == '-') {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

} // namespace

std::string TempFileName(std::string_view targetName, long pid, unsigned serial) {
    std::string name = ".";
    name += CutName(targetName);
    name += "." + std::to_string(pid) + "." + std::to_string(serial) + ".part";
    return name;
}

std::optional<long> TempFileProcess(std::string_view fileName, std::string_view targetName) {
    const std::string_view cut = CutName(targetName);
    if (fileName.size() < cut.size() + 2 || fileName[0] != '.' ||
        fileName.substr(1, cut.size()) != cut || fileName[cut.size() + 1] != '.') {
        return std::nullopt;
    }
    std::string_view rest = fileName.substr(cut.size() + 2);
    const std::optional<long> pid = TakeNumber(rest);
    if (!pid || !rest.starts_with('.')) {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    if (!TakeNumber(rest) || rest != ".part") {
        return std::nullopt;
    }
    return pid;
}

std::string WithChosenExtension(std::string_view path, std::string_view extension) {
    const std::filesystem::path file(path);
    if (file.filename().empty() || file.has_extension()) {
        return std::string(path);
    }
    return std::string(path) + std::string(extension);
}

} // namespace velmora
