// Standard MIDI Files (.mid), types 0, 1 and 2, as plain data: writing one
// from events, reading one back from untrusted bytes, and laying its tracks
// out on one time line with the tempo changes applied.
//
// An event's `bytes` hold what goes on the wire:
// - Midi: a channel message or other short message, status byte included;
// - Sysex: a message as it begins on the wire, F0 first (its F7 last when
//   it is whole); stored as an F0 event;
// - Escape: bytes sent as they are (a sysex continuation, a real-time or
//   system common message); stored as an F7 event;
// - Meta: the meta event's data, its type in `metaType`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

enum class MidiFileEventKind { Midi, Sysex, Escape, Meta };

struct MidiFileEvent {
    std::uint64_t tick = 0; // from the start of the track
    MidiFileEventKind kind = MidiFileEventKind::Midi;
    std::uint8_t metaType = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const MidiFileEvent&) const = default;
};

struct MidiFileTrack {
    std::vector<MidiFileEvent> events; // in time order
    bool operator==(const MidiFileTrack&) const = default;
};

constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTrackName = 0x03;

struct MidiFile {
    int format = 0; // 0, 1 or 2
    // Ticks per quarter note (1 to 32767), or, with the top bit set, the
    // SMPTE form: -frames per second in the high byte, ticks per frame low.
    std::uint16_t division = 480;
    std::vector<MidiFileTrack> tracks;
    bool operator==(const MidiFile&) const = default;
};

// The bytes of `file`. Channel messages use running status (cancelled by
// sysex and meta events, as readers expect); a track without an End of
// Track gets one at its last event's tick. Tracks must be in time order.
std::vector<std::uint8_t> WriteMidiFile(const MidiFile& file);

struct MidiFileReading {
    MidiFile file;
    std::string error; // empty when the file was read whole
};

// Reads `bytes` as a Standard MIDI File. Every length and count is checked
// against the bytes there are; chunks other than MTrk are skipped; a fault
// gives an `error` in English ("track 2: event length beyond the chunk")
// and no file. Each track holds its End of Track as its last event.
MidiFileReading ReadMidiFile(std::span<const std::uint8_t> bytes);

// A variable-length quantity as the file stores delta times and lengths
// (at most 0x0FFFFFFF).
void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value);

struct TimedFileEvent {
    std::uint64_t microseconds = 0; // from the start of the file
    std::size_t track = 0;
    const MidiFileEvent* event = nullptr; // points into the file
};

// All events of all tracks in time order (ties in track order, then file
// order), with their times in microseconds: tempo changes in any track
// apply to all (the first track's in type 1), 120 BPM before the first. A
// type 2 file's tracks are sequences played one after the other. Meta events
// are included; players skip them.
std::vector<TimedFileEvent> TimeMidiFile(const MidiFile& file);

// A capture: messages as they arrived from `sources` inputs, in arrival
// order, each with its source and the input service's time stamp.
struct CapturedMessage {
    std::size_t source = 0;
    std::uint64_t microseconds = 0; // from the start of the capture
    std::vector<std::uint8_t> bytes;
};

// The capture as a file: type 0 for one source, type 1 with a tempo track
// and a track per source (named by `sourceNames`) for several. The time
// base is 5000 ticks per quarter note at 120 BPM: one tick is 100 µs.
MidiFile CaptureAsMidiFile(std::span<const CapturedMessage> messages,
                           std::span<const std::string> sourceNames);

} // namespace velmora
