// Several MIDI inputs open at once for the commands that take more than one
// -i (capture, monitor): each opened by name with its own sysex buffers, each
// event handed on with the index of its input.
//
// Threads: Deliver runs on each input's delivery thread (never the real-time
// thread: that only fills the port's queue), one event at a time per input,
// so events of one input arrive in their order; the inputs' threads run side
// by side. Open, Close, Gone and Reopen run on the command's own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_service.h"

namespace velmora::cli {

// Takes every -i/--in out of `args`, in order (the option reader keeps only
// the last); the rest goes to `rest`. Sets `error` for an -i without a value.
std::vector<std::string> TakeInputs(std::span<const std::string_view> args,
                                    std::vector<std::string_view>& rest, std::string& error);

class InputSet {
  public:
    // The event's sysex buffer is queued again after Deliver returns.
    using Deliver = std::function<void(std::size_t source, const midi::InputEvent& event)>;

    InputSet(midi::MidiService& service, Deliver deliver)
        : service_(service), deliver_(std::move(deliver)) {}
    ~InputSet() { Close(); }
    InputSet(const InputSet&) = delete;
    InputSet& operator=(const InputSet&) = delete;

    // Opens and starts the device `name` as the next source; false, with
    // the reason on standard error after "velmora-cli COMMAND: ", when it
    // can't be opened.
    bool Add(const std::string& name, const char* command);
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
        std::unique_ptr<midi::MidiInPort> port;
        std::vector<midi::MidiHeader> headers;
        std::vector<std::vector<std::uint8_t>> buffers;
    };
    bool Open(Input& input);
    void Shut(Input& input);

    midi::MidiService& service_;
    Deliver deliver_;
    std::vector<std::unique_ptr<Input>> inputs_;
    std::uint64_t lostClosed_ = 0;
};

} // namespace velmora::cli
