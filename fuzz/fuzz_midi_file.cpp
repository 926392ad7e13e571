// Reads arbitrary bytes as a Standard MIDI File: the reader never reads out
// of bounds nor fails to end, and what it reads is written and read back to
// the same file, which lays out on a time line in order.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/midi_file.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MidiFileReading reading = ReadMidiFile(std::span(data, size));
    if (!reading.error.empty()) {
        return 0;
    }
    const MidiFileReading again = ReadMidiFile(WriteMidiFile(reading.file));
    if (!again.error.empty() || again.file != reading.file) {
        std::abort();
    }
    std::uint64_t last = 0;
    for (const TimedFileEvent& t : TimeMidiFile(reading.file)) {
        if (t.microseconds < last && reading.file.division < 0x8000) {
            std::abort();
        }
        last = t.microseconds;
    }
    return 0;
}
