// Several MIDI inputs open at once (velmora-cli's commands that take more
// than one -i, the window's extra inputs): each opened by name with its own
// sysex buffers, each event handed on with the index of its input.
//
// Threads: Deliver runs on each input's delivery thread (never the real-time
// thread: that only fills the port's queue), one event at a time per input,
// so events of one input arrive in their order; the inputs' threads run side
// by side. Add, Close, Gone and Reopen run on the owner's own thread, which
// the wait hook keeps serving while a port waits for its delivery thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace velmora::midi {

class InputSet {
  public:
    // The event's sysex buffer is queued again after Deliver returns.
    using Deliver = std::function<void(std::size_t source, const InputEvent& event)>;

    InputSet(MidiService& service, Deliver deliver)
        : service_(service), deliver_(std::move(deliver)) {}
    ~InputSet() { Close(); }
    InputSet(const InputSet&) = delete;
    InputSet& operator=(const InputSet&) = delete;

    // Run, with the input's index, while closing that input waits for its
    // delivery thread (which may wait for the owner to take what it handed).
    using ServeHook = std::function<void(std::size_t source)>;
    void SetServeHook(ServeHook hook) { serveHook_ = std::move(hook); }

    // Opens and starts the device `name` as the next source; false when it
    // can't be opened (the set is then unchanged).
    bool Add(const std::string& name);
    std::size_t Size() const { return inputs_.size(); }
    const std::string& Name(std::size_t source) const { return inputs_[source]->name; }

    // True once input `source` has left (its port is dead) and is not open.
    bool Gone(std::size_t source) const;
    // Closes a gone input; Reopen tries it again by its name.
    void CloseOne(std::size_t source);
    bool Reopen(std::size_t source);
    // Stops and closes every input: no Deliver runs after it returns.
    void Close();
    // Events the inputs could not deliver, closed ones included.
    std::uint64_t LostEvents() const;

  private:
    struct Input {
        std::size_t source = 0;
        std::string name;
        std::unique_ptr<MidiInPort> port;
        std::vector<MidiHeader> headers;
        std::vector<std::vector<std::uint8_t>> buffers;
    };
    bool Open(Input& input);
    void Shut(Input& input);

    MidiService& service_;
    Deliver deliver_;
    ServeHook serveHook_;
    std::vector<std::unique_ptr<Input>> inputs_;
    std::uint64_t lostClosed_ = 0;
};

} // namespace velmora::midi
