// Standard MIDI Files: the bytes written, reading them back, the time line
// with tempo changes, and refusing damaged files.
#include "core/midi_file.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

MidiFileEvent Event(std::uint64_t tick, MidiFileEventKind kind, Bytes bytes,
                    std::uint8_t metaType = 0) {
    return {tick, kind, metaType, std::move(bytes)};
}
MidiFileEvent Midi(std::uint64_t tick, Bytes bytes) {
    return Event(tick, MidiFileEventKind::Midi, std::move(bytes));
}
MidiFileEvent Tempo(std::uint64_t tick, std::uint32_t micros) {
    return Event(tick, MidiFileEventKind::Meta,
                 {static_cast<std::uint8_t>(micros >> 16), static_cast<std::uint8_t>(micros >> 8),
                  static_cast<std::uint8_t>(micros)},
                 kMetaTempo);
}
MidiFileEvent End(std::uint64_t tick) {
    return Event(tick, MidiFileEventKind::Meta, {}, kMetaEndOfTrack);
}

} // namespace

TEST(MidiFile, VariableLengthQuantities) {
    const std::vector<std::pair<std::uint32_t, Bytes>> cases = {
        {0, {0x00}},
        {0x40, {0x40}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x2000, {0xC0, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x100000, {0xC0, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, expected] : cases) {
        Bytes out;
        AppendVariableLength(out, value);
        EXPECT_EQ(out, expected) << value;
    }
}

TEST(MidiFile, WritesTypeZeroWithRunningStatusSysexAndEscapes) {
    MidiFile file;
    file.division = 96;
    file.tracks.push_back({{
        Tempo(0, 500000), Midi(0, {0x90, 0x3C, 0x64}),
        Midi(200, {0x90, 0x3C, 0x00}), // running status
        Event(200, MidiFileEventKind::Sysex, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}),
        Midi(200, {0x90, 0x40, 0x50}), // status again after the sysex
        Event(201, MidiFileEventKind::Escape, {0xF8}),
        Midi(201, {0xF8}), // a system message goes as an escape too
    }});
    const Bytes expected = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0, 0, 0, 1, 0, 96, //
                            'M',  'T',  'r',  'k',  0,    0,    0,    39,                      //
                            0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                          //
                            0x00, 0x90, 0x3C, 0x64,                                            //
                            0x81, 0x48, 0x3C, 0x00,                                            //
                            0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x06, 0x01, 0xF7,                    //
                            0x00, 0x90, 0x40, 0x50,                                            //
                            0x01, 0xF7, 0x01, 0xF8,                                            //
                            0x00, 0xF7, 0x01, 0xF8,                                            //
                            0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(WriteMidiFile(file), expected);

    // Read back: the same events, with the End of Track the writer added and
    // the system message as the escape it was stored as.
    const MidiFileReading back = ReadMidiFile(expected);
    ASSERT_EQ(back.error, "");
    MidiFile again = file;
    again.tracks[0].events[6].kind = MidiFileEventKind::Escape;
    again.tracks[0].events.push_back(End(201));
    EXPECT_EQ(back.file, again);
}

TEST(MidiFile, TypeOneTimeLineFollowsTempoChanges) {
    MidiFile file;
    file.format = 1;
    file.division = 100;
    // Conductor: 120 BPM (0.5 s per quarter), from tick 200 60 BPM.
    file.tracks.push_back({{Tempo(0, 500000), Tempo(200, 1000000), End(200)}});
    file.tracks.push_back({{Midi(0, {0x90, 60, 1}), Midi(100, {0x80, 60, 0}),
                            Midi(300, {0x91, 61, 1}), Midi(350, {0x81, 61, 0}), End(350)}});
    const MidiFileReading back = ReadMidiFile(WriteMidiFile(file));
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.file, file);

    std::vector<std::pair<std::uint64_t, std::uint8_t>> notes;
    for (const TimedFileEvent& t : TimeMidiFile(back.file)) {
        if (t.event->kind == MidiFileEventKind::Midi) {
            EXPECT_EQ(t.track, 1u);
            notes.emplace_back(t.microseconds, t.event->bytes[0]);
        }
    }
    EXPECT_EQ(notes, (std::vector<std::pair<std::uint64_t, std::uint8_t>>{
                         {0, 0x90}, {500000, 0x80}, {2000000, 0x91}, {2500000, 0x81}}));

    // SMPTE time: 25 frames of 40 ticks, one tick a millisecond.
    file.division = static_cast<std::uint16_t>((256 - 25) << 8 | 40);
    EXPECT_EQ(TimeMidiFile(file).back().microseconds, 350000u);
}

TEST(MidiFile, RefusesDamagedFilesWithAReason) {
    MidiFile file;
    file.tracks.push_back({{Midi(0, {0x90, 60, 1}), End(0)}});
    const Bytes good = WriteMidiFile(file);

    auto errorOf = [](Bytes bytes) { return ReadMidiFile(bytes).error; };
    EXPECT_EQ(errorOf({}), "not a Standard MIDI File (no MThd header)");
    EXPECT_EQ(errorOf({'R', 'I', 'F', 'F', 0, 0, 0, 6}),
              "not a Standard MIDI File (no MThd header)");
    Bytes b = good;
    b[7] = 5; // header length 5
    EXPECT_EQ(errorOf(b), "header cut or too short");
    b = good;
    b[11] = 2; // type 0 with two tracks
    EXPECT_EQ(errorOf(b), "a type 0 file with 2 tracks");
    b = good;
    b[9] = 3;
    EXPECT_EQ(errorOf(b), "unknown format 3");
    b = good;
    b[12] = b[13] = 0;
    EXPECT_EQ(errorOf(b), "time division of zero");
    b = good;
    b[21] = 0xFF; // a chunk length far beyond the file
    EXPECT_EQ(errorOf(b), "chunk length beyond the end of the file");
    b = good;
    b.resize(14);
    EXPECT_EQ(errorOf(b), "only 0 of 1 tracks");
    // A sysex event whose length runs past its chunk.
    b = good;
    b[23] = 0xF0;
    b[24] = 0x7F;
    EXPECT_EQ(errorOf(b), "track 1: event length beyond the chunk");
    // A delta time of five bytes.
    b = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0,    0,    0,    1,    0,   96,
         'M', 'T', 'r', 'k', 0, 0, 0, 5, 0x81, 0x81, 0x81, 0x81, 0x01};
    EXPECT_EQ(errorOf(b), "track 1: delta time cut or longer than four bytes");
    // A data byte with no status before it, a status inside a message.
    b = {'M', 'T', 'h', 'd', 0,   0, 0, 6, 0, 0,    0,    1,   0,
         96,  'M', 'T', 'r', 'k', 0, 0, 0, 3, 0x00, 0x3C, 0x40};
    EXPECT_EQ(errorOf(b), "track 1: data byte without a status");
    b = {'M', 'T', 'h', 'd', 0,   0, 0, 6, 0, 0,    0,    1,    0,
         96,  'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0x90, 0x3C, 0x80};
    EXPECT_EQ(errorOf(b), "track 1: status byte inside a channel message");
    EXPECT_EQ(ReadMidiFile(b).file, MidiFile{}); // nothing half read is given

    // Other chunks are skipped; a track without End of Track ends at its last event.
    b = {'M', 'T', 'h', 'd', 0,    0,   0,   6,   0,   0, 0, 1, 0, 96,   'X',  'T',  'R', 'A',
         0,   0,   0,   1,   0xAA, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x10, 0x90, 0x3C, 0x40};
    const MidiFileReading lenient = ReadMidiFile(b);
    ASSERT_EQ(lenient.error, "");
    EXPECT_EQ(lenient.file.tracks.at(0).events,
              (std::vector<MidiFileEvent>{Midi(16, {0x90, 0x3C, 0x40}), End(16)}));
}

TEST(MidiFile, CaptureMakesATrackPerSourceInTenthsOfMilliseconds) {
    const std::vector<CapturedMessage> messages = {
        {0, 0, {0x90, 60, 100}},
        {1, 1234, {0xF0, 0x7D, 0x01, 0xF7}},
        {0, 20049, {0x80, 60, 0}},
        {1, 30000, {0xF8}},
    };
    const std::vector<std::string> two = {"A", "B"};
    const MidiFile file = CaptureAsMidiFile(messages, two);
    EXPECT_EQ(file.format, 1);
    ASSERT_EQ(file.tracks.size(), 3u);
    const MidiFileReading back = ReadMidiFile(WriteMidiFile(file));
    ASSERT_EQ(back.error, "");
    std::vector<std::tuple<std::uint64_t, std::size_t, Bytes>> seen;
    for (const TimedFileEvent& t : TimeMidiFile(back.file)) {
        if (t.event->kind != MidiFileEventKind::Meta) {
            seen.emplace_back(t.microseconds, t.track, t.event->bytes);
        }
    }
    EXPECT_EQ(seen, (std::vector<std::tuple<std::uint64_t, std::size_t, Bytes>>{
                        {0, 1, {0x90, 60, 100}},
                        {1200, 2, {0xF0, 0x7D, 0x01, 0xF7}},
                        {20000, 1, {0x80, 60, 0}},
                        {30000, 2, {0xF8}}}));
    EXPECT_EQ(back.file.tracks[1].events[0].bytes, (Bytes{'A'}));

    // One source: type 0, one track.
    const MidiFile one = CaptureAsMidiFile(std::span(messages).first(1), {});
    EXPECT_EQ(one.format, 0);
    EXPECT_EQ(one.tracks.size(), 1u);
}
