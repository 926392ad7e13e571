#include "core/sysex_file_io.h"

namespace velmora {

FileContents LoadSysexFile(const std::string& path) {
    return ReadRegularFile(path, kMaxSysexFileBytes);
}

FileResult SaveSysexFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return ReplaceFile(path, bytes);
}

FileResult CheckSysexFileTarget(const std::string& path) {
    return CheckReplaceable(path);
}

} // namespace velmora
