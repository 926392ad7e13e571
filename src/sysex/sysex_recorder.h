// A sysex recording as the record window and velmora-cli run it: the input
// callback, in Record mode, appends every sysex block to SysexBuffer and
// raises the record hand-off; this helper starts and ends the recording,
// notes each block on the window thread, tells when the transfer has ended,
// and copies the recording out under the lock.
//
// The caller connects the hand-off: MidiInCallback::SetRecordSignal with a
// UiSignal whose receiver calls NoteBlock for each sysex block handed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "midi/hand_off.h"
#include "midi/midi_functions.h"

namespace velmora::sysex {

class SysexRecorder {
  public:
    static constexpr std::chrono::milliseconds kDefaultIdle{2000};

    // `idle`: how long no byte may have come, after at least one block, for
    // the transfer to count as ended.
    explicit SysexRecorder(midi::MidiFunctions& midi,
                           std::chrono::milliseconds idle = kDefaultIdle);

    // Starts a recording: RecordBlockCount 0, SysexBuffer and its status text
    // emptied, a new watch for the end of the transfer, then InputMode :=
    // Record. Window thread.
    void Begin();
    // Ends it: InputMode := Monitor. SysexBuffer keeps the recording.
    void End();

    // A new watch for the end of the transfer (the record window does this
    // each time it is shown).
    void ResetWatch();
    // The window thread's reaction to the record hand-off '1': notes the
    // length of SysexBuffer and the time.
    void NoteBlock();
    // The 250 ms tick: true once at least one block has been noted, nothing
    // has been added since, and more than the idle time has passed since it
    // was noted (counted again from the moment the clock takes a new base).
    // Stays true until the next ResetWatch, also if more comes.
    bool TransferEnded();

    // Copies under the lock, so no append overlaps them. Any thread.
    std::vector<std::uint8_t> Bytes() const;
    std::size_t Length() const;
    int BlockCount() const;
    // "%d blocks received - %d Bytes received"; empty before the first block.
    std::string StatusText() const;

  private:
    midi::MidiFunctions& midi_;
    std::chrono::milliseconds idle_;
    std::size_t lastBlockLength_ = 0; // 0 = no block noted in this watch
    std::int64_t lastBlockTime_ = 0;  // ElapsedMs when it was noted
    bool transferEnded_ = false;
};

// The record hand-off's receiver for front ends without a record window:
// notes each block.
class BlockNoter : public midi::UiSignalReceiver {
  public:
    explicit BlockNoter(SysexRecorder& recorder) : recorder_(recorder) {}
    void HandleSignal(const midi::Handed& handed) override {
        if (handed.kind == midi::HandedKind::Sysex) {
            recorder_.NoteBlock();
        }
    }

  private:
    SysexRecorder& recorder_;
};

} // namespace velmora::sysex
