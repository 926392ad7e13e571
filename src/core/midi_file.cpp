#include "core/midi_file.h"

#include <algorithm>
#include <limits>

#include "core/short_message.h"

namespace velmora {
namespace {

constexpr std::uint32_t kMaxVariableLength = 0x0FFFFFFF;
constexpr std::uint32_t kDefaultTempo = 500000; // µs per quarter note: 120 BPM
constexpr std::uint16_t kCaptureDivision = 5000;

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}
void AppendU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void AppendLengthAndData(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> data) {
    AppendVariableLength(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

std::vector<std::uint8_t> TrackBytes(const MidiFileTrack& track) {
    std::vector<std::uint8_t> out;
    std::uint64_t now = 0;
    std::uint8_t runningStatus = 0;
    bool ended = false;
    for (const MidiFileEvent& e : track.events) {
        if (ended) {
            break; // nothing may follow End of Track
        }
        const std::uint64_t delta = e.tick > now ? e.tick - now : 0;
        now = std::max(now, e.tick);
        AppendVariableLength(
            out, static_cast<std::uint32_t>(std::min<std::uint64_t>(delta, kMaxVariableLength)));
        switch (e.kind) {
        case MidiFileEventKind::Midi: {
            const std::uint8_t status = e.bytes.empty() ? 0 : e.bytes[0];
            if (status < 0x80 || status >= 0xF0) {
                // Not a channel message: system messages go as escapes.
                out.push_back(0xF7);
                AppendLengthAndData(out, e.bytes);
                runningStatus = 0;
                break;
            }
            if (status != runningStatus) {
                out.push_back(status);
                runningStatus = status;
            }
            const std::size_t size = static_cast<std::size_t>(ShortMessageBytes(status));
            for (std::size_t i = 1; i < size; ++i) {
                out.push_back(i < e.bytes.size() ? static_cast<std::uint8_t>(e.bytes[i] & 0x7F)
                                                 : 0);
            }
            break;
        }
        case MidiFileEventKind::Sysex: {
            out.push_back(0xF0);
            const std::span<const std::uint8_t> bytes(e.bytes);
            AppendLengthAndData(out, bytes.empty() || bytes[0] != 0xF0 ? bytes : bytes.subspan(1));
            runningStatus = 0;
            break;
        }
        case MidiFileEventKind::Escape:
            out.push_back(0xF7);
            AppendLengthAndData(out, e.bytes);
            runningStatus = 0;
            break;
        case MidiFileEventKind::Meta:
            out.push_back(0xFF);
            out.push_back(e.metaType);
            AppendLengthAndData(out, e.bytes);
            runningStatus = 0;
            ended = e.metaType == kMetaEndOfTrack;
            break;
        }
    }
    if (!ended) {
        out.insert(out.end(), {0x00, 0xFF, kMetaEndOfTrack, 0x00});
    }
    return out;
}

// Reads from a bounded range; every read checks what is left.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t Left() const { return bytes_.size() - at_; }
    bool Byte(std::uint8_t& b) {
        if (at_ >= bytes_.size()) {
            return false;
        }
        b = bytes_[at_++];
        return true;
    }
    bool Peek(std::uint8_t& b) const {
        if (at_ >= bytes_.size()) {
            return false;
        }
        b = bytes_[at_];
        return true;
    }
    bool U32(std::uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!Byte(b)) {
                return false;
            }
            v = (v << 8) | b;
        }
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::uint8_t hi = 0;
        std::uint8_t lo = 0;
        if (!Byte(hi) || !Byte(lo)) {
            return false;
        }
        v = static_cast<std::uint16_t>((hi << 8) | lo);
        return true;
    }
    // At most four bytes, as the format allows.
    bool VariableLength(std::uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!Byte(b)) {
                return false;
            }
            v = (v << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }
    bool Take(std::size_t n, std::span<const std::uint8_t>& out) {
        if (n > Left()) {
            return false;
        }
        out = bytes_.subspan(at_, n);
        at_ += n;
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// Reads one MTrk chunk's contents; an empty string when it went well.
std::string ReadTrack(std::span<const std::uint8_t> chunk, MidiFileTrack& track) {
    Reader r(chunk);
    std::uint64_t now = 0;
    std::uint8_t runningStatus = 0;
    while (r.Left() > 0) {
        std::uint32_t delta = 0;
        if (!r.VariableLength(delta)) {
            return "delta time cut or longer than four bytes";
        }
        now += delta;
        std::uint8_t first = 0;
        if (!r.Peek(first)) {
            return "event missing after its delta time";
        }
        MidiFileEvent e;
        e.tick = now;
        if (first == 0xFF || first == 0xF0 || first == 0xF7) {
            std::uint8_t type = 0;
            r.Byte(type);
            if (first == 0xFF && !r.Byte(e.metaType)) {
                return "meta event cut";
            }
            std::uint32_t length = 0;
            std::span<const std::uint8_t> data;
            if (!r.VariableLength(length) || !r.Take(length, data)) {
                return "event length beyond the chunk";
            }
            if (first == 0xF0) {
                e.kind = MidiFileEventKind::Sysex;
                e.bytes.push_back(0xF0);
            } else {
                e.kind = first == 0xF7 ? MidiFileEventKind::Escape : MidiFileEventKind::Meta;
            }
            e.bytes.insert(e.bytes.end(), data.begin(), data.end());
            runningStatus = 0;
            const bool end = e.kind == MidiFileEventKind::Meta && e.metaType == kMetaEndOfTrack;
            track.events.push_back(std::move(e));
            if (end) {
                return {}; // what follows End of Track is not part of the track
            }
            continue;
        }
        std::uint8_t status = runningStatus;
        if (first >= 0x80) {
            r.Byte(status);
            if (status >= 0xF0) {
                return "system message outside an F7 event";
            }
            runningStatus = status;
        } else if (status == 0) {
            return "data byte without a status";
        }
        e.bytes.push_back(status);
        for (int i = 1; i < ShortMessageBytes(status); ++i) {
            std::uint8_t b = 0;
            if (!r.Byte(b)) {
                return "channel message cut";
            }
            if (b >= 0x80) {
                return "status byte inside a channel message";
            }
            e.bytes.push_back(b);
        }
        track.events.push_back(std::move(e));
    }
    // A track without an End of Track is read as ending at its last event.
    MidiFileEvent end;
    end.tick = now;
    end.kind = MidiFileEventKind::Meta;
    end.metaType = kMetaEndOfTrack;
    track.events.push_back(std::move(end));
    return {};
}

std::uint32_t TempoOf(const MidiFileEvent& e) {
    return (std::uint32_t{e.bytes[0]} << 16) | (std::uint32_t{e.bytes[1]} << 8) | e.bytes[2];
}
bool IsTempo(const MidiFileEvent& e) {
    return e.kind == MidiFileEventKind::Meta && e.metaType == kMetaTempo && e.bytes.size() >= 3 &&
           TempoOf(e) > 0;
}

// Microseconds for `ticks` at `microsPerQuarter`, split in whole quarters
// and the rest so that the product does not overflow.
std::uint64_t TicksToMicroseconds(std::uint64_t ticks, std::uint64_t microsPerQuarter,
                                  std::uint64_t ticksPerQuarter) {
    const std::uint64_t whole = ticks / ticksPerQuarter;
    const std::uint64_t part = ticks % ticksPerQuarter;
    return whole * microsPerQuarter + part * microsPerQuarter / ticksPerQuarter;
}

} // namespace

void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value) {
    value = std::min(value, kMaxVariableLength);
    std::uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    }
    out.push_back(groups[0]);
}

std::vector<std::uint8_t> WriteMidiFile(const MidiFile& file) {
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd'};
    AppendU32(out, 6);
    AppendU16(out, static_cast<std::uint16_t>(file.format));
    AppendU16(out, static_cast<std::uint16_t>(file.tracks.size()));
    AppendU16(out, file.division);
    for (const MidiFileTrack& track : file.tracks) {
        const std::vector<std::uint8_t> bytes = TrackBytes(track);
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        AppendU32(out, static_cast<std::uint32_t>(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

MidiFileReading ReadMidiFile(std::span<const std::uint8_t> bytes) {
    MidiFileReading reading;
    Reader r(bytes);
    std::span<const std::uint8_t> id;
    std::uint32_t headerLength = 0;
    if (!r.Take(4, id) || !std::equal(id.begin(), id.end(), "MThd") || !r.U32(headerLength)) {
        reading.error = "not a Standard MIDI File (no MThd header)";
        return reading;
    }
    std::span<const std::uint8_t> header;
    if (headerLength < 6 || !r.Take(headerLength, header)) {
        reading.error = "header cut or too short";
        return reading;
    }
    Reader h(header);
    std::uint16_t format = 0;
    std::uint16_t trackCount = 0;
    h.U16(format);
    h.U16(trackCount);
    h.U16(reading.file.division);
    if (format > 2) {
        reading.error = "unknown format " + std::to_string(format);
        return reading;
    }
    if (format == 0 && trackCount != 1) {
        reading.error = "a type 0 file with " + std::to_string(trackCount) + " tracks";
        return reading;
    }
    const std::uint16_t d = reading.file.division;
    if (d == 0 || ((d & 0x8000) != 0 && (d & 0xFF) == 0)) {
        reading.error = "time division of zero";
        return reading;
    }
    reading.file.format = format;
    while (reading.file.tracks.size() < trackCount) {
        std::uint32_t length = 0;
        std::span<const std::uint8_t> chunk;
        if (!r.Take(4, id) || !r.U32(length)) {
            reading.error = "only " + std::to_string(reading.file.tracks.size()) + " of " +
                            std::to_string(trackCount) + " tracks";
            break;
        }
        if (!r.Take(length, chunk)) {
            reading.error = "chunk length beyond the end of the file";
            break;
        }
        if (!std::equal(id.begin(), id.end(), "MTrk")) {
            continue; // a chunk of another kind, skipped as the format asks
        }
        MidiFileTrack track;
        const std::string fault = ReadTrack(chunk, track);
        if (!fault.empty()) {
            reading.error =
                "track " + std::to_string(reading.file.tracks.size() + 1) + ": " + fault;
            break;
        }
        reading.file.tracks.push_back(std::move(track));
    }
    if (!reading.error.empty()) {
        reading.file = {};
    }
    return reading;
}

std::vector<TimedFileEvent> TimeMidiFile(const MidiFile& file) {
    std::vector<TimedFileEvent> timed;
    const bool smpte = (file.division & 0x8000) != 0;
    const std::uint64_t framesPerSecond = smpte ? 256u - (file.division >> 8) : 0;
    const std::uint64_t ticksPerUnit = smpte ? file.division & 0xFF : file.division;
    if (ticksPerUnit == 0 || (smpte && framesPerSecond == 0)) {
        return timed;
    }
    // Everything as (tick, track, index), merged in time order; a type 2 file's
    // tracks are placed one after the other.
    struct Ref {
        std::uint64_t tick;
        std::size_t track;
        std::size_t index;
    };
    std::vector<Ref> refs;
    std::uint64_t offset = 0;
    for (std::size_t t = 0; t < file.tracks.size(); ++t) {
        const auto& events = file.tracks[t].events;
        std::uint64_t last = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            last = std::max(last, events[i].tick);
            refs.push_back({offset + last, t, i});
        }
        if (file.format == 2) {
            offset += last;
        }
    }
    std::stable_sort(refs.begin(), refs.end(), [](const Ref& a, const Ref& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.track < b.track;
    });
    std::uint64_t tempo = kDefaultTempo;
    std::uint64_t baseTick = 0;
    std::uint64_t baseMicros = 0;
    for (const Ref& ref : refs) {
        const MidiFileEvent& e = file.tracks[ref.track].events[ref.index];
        const std::uint64_t micros =
            smpte ? TicksToMicroseconds(ref.tick, 1000000, framesPerSecond * ticksPerUnit)
                  : baseMicros + TicksToMicroseconds(ref.tick - baseTick, tempo, ticksPerUnit);
        timed.push_back({micros, ref.track, &e});
        if (!smpte && IsTempo(e)) {
            baseMicros = micros;
            baseTick = ref.tick;
            tempo = TempoOf(e);
        }
    }
    return timed;
}

MidiFile CaptureAsMidiFile(std::span<const CapturedMessage> messages,
                           std::span<const std::string> sourceNames) {
    MidiFile file;
    file.division = kCaptureDivision;
    const std::size_t sources = std::max<std::size_t>(sourceNames.size(), 1);
    file.format = sources > 1 ? 1 : 0;
    const std::size_t firstSourceTrack = sources > 1 ? 1 : 0;
    file.tracks.resize(firstSourceTrack + sources);
    // 120 BPM, so that one tick is kDefaultTempo / kCaptureDivision = 100 µs.
    MidiFileEvent tempo;
    tempo.kind = MidiFileEventKind::Meta;
    tempo.metaType = kMetaTempo;
    tempo.bytes = {0x07, 0xA1, 0x20};
    file.tracks[0].events.push_back(tempo);
    if (sources > 1) {
        for (std::size_t s = 0; s < sources; ++s) {
            MidiFileEvent name;
            name.kind = MidiFileEventKind::Meta;
            name.metaType = kMetaTrackName;
            name.bytes.assign(sourceNames[s].begin(), sourceNames[s].end());
            file.tracks[firstSourceTrack + s].events.push_back(std::move(name));
        }
    }
    constexpr std::uint64_t kMicrosPerTick = kDefaultTempo / kCaptureDivision;
    for (const CapturedMessage& m : messages) {
        if (m.bytes.empty() || m.source >= sources) {
            continue;
        }
        MidiFileTrack& track = file.tracks[firstSourceTrack + m.source];
        MidiFileEvent e;
        // Rounded to the nearest tick; never before the track's last event.
        e.tick = (m.microseconds + kMicrosPerTick / 2) / kMicrosPerTick;
        if (!track.events.empty()) {
            e.tick = std::max(e.tick, track.events.back().tick);
        }
        e.bytes = m.bytes;
        const std::uint8_t status = m.bytes[0];
        if (status == 0xF0) {
            e.kind = MidiFileEventKind::Sysex;
        } else if (status >= 0x80 && status < 0xF0 &&
                   m.bytes.size() >= static_cast<std::size_t>(ShortMessageBytes(status))) {
            e.kind = MidiFileEventKind::Midi;
            e.bytes.resize(static_cast<std::size_t>(ShortMessageBytes(status)));
        } else {
            e.kind = MidiFileEventKind::Escape;
        }
        track.events.push_back(std::move(e));
    }
    return file;
}

} // namespace velmora
