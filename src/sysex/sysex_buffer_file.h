// SysexBuffer and .syx files: loading a file for sending replaces the
// buffer, saving writes a copy taken under the buffer's lock (the disk is
// never written while the input thread waits for the lock). InputShutOut
// keeps the input callback out of the way for the whole of a send.
#pragma once

#include <string>
#include <vector>

#include "core/sysex_file_io.h"
#include "midi/midi_functions.h"

namespace velmora::sysex {

// Reads the file whole; on success it replaces SysexBuffer, on failure the
// buffer is left as it was.
FileResult LoadSysexBuffer(midi::SysexStore& store, const std::string& path);
FileResult SaveSysexBuffer(midi::SysexStore& store, const std::string& path);
std::vector<std::uint8_t> CopySysexBuffer(midi::SysexStore& store);

// InputActive is off from construction; on destruction it follows the input
// port again (on when the input is open). Window thread.
class InputShutOut {
  public:
    explicit InputShutOut(midi::MidiFunctions& midi) : midi_(midi) {
        midi_.InputActive.store(false);
    }
    ~InputShutOut() { midi_.InputActive.store(midi_.InputOpen()); }
    InputShutOut(const InputShutOut&) = delete;
    InputShutOut& operator=(const InputShutOut&) = delete;

  private:
    midi::MidiFunctions& midi_;
};

} // namespace velmora::sysex
