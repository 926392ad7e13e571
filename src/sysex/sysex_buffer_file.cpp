#include "sysex/sysex_buffer_file.h"

#include <mutex>

namespace velmora::sysex {

FileResult LoadSysexBuffer(midi::SysexStore& store, const std::string& path) {
    FileContents loaded = LoadSysexFile(path);
    if (loaded.result) {
        std::lock_guard lock(store.lock);
        store.SysexBuffer = std::move(loaded.bytes);
    }
    return loaded.result;
}

FileResult SaveSysexBuffer(midi::SysexStore& store, const std::string& path) {
    return SaveSysexFile(path, CopySysexBuffer(store));
}

std::vector<std::uint8_t> CopySysexBuffer(midi::SysexStore& store) {
    std::lock_guard lock(store.lock);
    return store.SysexBuffer;
}

} // namespace velmora::sysex
