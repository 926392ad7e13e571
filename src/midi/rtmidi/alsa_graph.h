// The ALSA sequencer's graph as MidiGraph data: every port that sends or
// receives, named as RtMidi lists it ("client:port 20:0"), its client as its
// node, and the subscribers of each sending port. Midi Through and programs
// (user clients) may pass on what they receive; the kernel's other clients
// are hardware (Outside: a cable or a device's echo is invisible); the
// system client keeps what it gets.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "core/midi_graph.h"

namespace velmora::midi {

class AlsaGraphReader {
  public:
    // A sequencer client of its own with no ports, opened on first use and
    // kept: opening one per question would announce a client each time.
    explicit AlsaGraphReader(std::string clientName) : clientName_(std::move(clientName)) {}
    ~AlsaGraphReader();
    AlsaGraphReader(const AlsaGraphReader&) = delete;
    AlsaGraphReader& operator=(const AlsaGraphReader&) = delete;

    // The graph now; nullopt when the sequencer can't be read. Any thread.
    std::optional<MidiGraph> Read();

  private:
    std::string clientName_;
    std::mutex mutex_;
    void* seq_ = nullptr; // snd_seq_t, guarded by mutex_
};

} // namespace velmora::midi
