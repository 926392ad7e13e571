// What a capture to a Standard MIDI File collects while it runs: short
// messages and sysex blocks as they arrive from one or more inputs, each
// with its arrival time. Blocks of one sysex message are joined into one
// event; a message cut short by the next F0, or never ended, is kept as it
// came. Plain data, no clock and no lock of its own: the caller stamps every
// event and keeps threads apart.
//
// A capture is held in memory until its file is written, so it has a limit:
// once the events held (with their bookkeeping) would pass `limitBytes`, the
// log is full and takes nothing more; the caller then ends the capture and
// writes what was held, a complete and valid file. Writing needs about twice
// the limit again for a moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/midi_file.h"
#include "core/short_message.h"

namespace velmora {

class CaptureLog {
  public:
    // `sources`: how many inputs feed the log (numbered from 0).
    // `realTime`: false leaves out clock, start, continue, stop, active
    // sensing and reset.
    // `limitBytes`: the most the held events may take.
    explicit CaptureLog(std::size_t sources = 1, bool realTime = true,
                        std::size_t limitBytes = kLimitBytes);

    // 128 MB: about two million short messages, an hour of dense playing.
    static constexpr std::size_t kLimitBytes = std::size_t{128} << 20;
    static constexpr const char* kLimitText = "128 MB";

    void AddShort(std::size_t source, std::uint64_t micros, ShortMessage message);
    // One block of a sysex message: the first starts with F0, the last ends
    // with F7.
    void AddSysexBlock(std::size_t source, std::uint64_t micros,
                       std::span<const std::uint8_t> block);
    // Ends the sysex messages still open (at the end of the capture).
    void FlushSysex();

    // Events captured so far, sysex messages counted once they are complete.
    std::size_t Count() const { return messages_.size(); }
    // The events in time order (arrival order for equal times).
    std::vector<CapturedMessage> Messages() const;

    // True once an event did not fit: the capture should end.
    bool Full() const { return refused_ > 0; }
    // Events (and sysex blocks) left out since the log became full.
    std::uint64_t Refused() const { return refused_; }

  private:
    struct OpenSysex {
        std::vector<std::uint8_t> bytes;
        std::uint64_t micros = 0;
    };
    void Flush(std::size_t source);
    // Counts `bytes` more held, or refuses them (false) past the limit.
    bool Take(std::size_t bytes);

    bool realTime_;
    std::size_t limitBytes_;
    std::size_t heldBytes_ = 0;
    std::uint64_t refused_ = 0;
    std::vector<OpenSysex> open_; // per source
    std::vector<CapturedMessage> messages_;
};

// The file's bytes for a finished capture: type 0 for one source, type 1 with
// a track per source (named by `sourceNames`) for several.
std::vector<std::uint8_t> CaptureFileBytes(const CaptureLog& log,
                                           std::span<const std::string> sourceNames);

} // namespace velmora
