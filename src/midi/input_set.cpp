#include "midi/input_set.h"

#include "midi/midi_functions.h"

namespace velmora::midi {
namespace {

constexpr std::size_t kBuffersPerInput = 8;

} // namespace

bool InputSet::Add(const std::string& name) {
    auto input = std::make_unique<Input>();
    input->source = inputs_.size();
    input->name = name;
    if (!Open(*input)) {
        return false;
    }
    inputs_.push_back(std::move(input));
    return true;
}

bool InputSet::Open(Input& input) {
    Input* raw = &input;
    input.port = service_.OpenIn(input.name, [this, raw](const InputEvent& event) {
        deliver_(raw->source, event);
        MidiHeader* h = event.header;
        if (event.code == InputMessage::LongData && h != nullptr && h->dwBytesRecorded > 0) {
            // Back in the queue for the next block; a buffer handed back
            // empty comes from a reset and stays out.
            raw->port->UnprepareHeader(*h);
            raw->port->PrepareHeader(*h);
            raw->port->AddBuffer(*h);
        }
    });
    if (!input.port) {
        return false;
    }
    input.headers.assign(kBuffersPerInput, {});
    input.buffers.assign(kBuffersPerInput, std::vector<std::uint8_t>(kInputBufferSize));
    for (std::size_t b = 0; b < kBuffersPerInput; ++b) {
        MidiHeader& h = input.headers[b];
        h.lpData = input.buffers[b].data();
        h.dwBufferLength = kInputBufferSize;
        input.port->PrepareHeader(h);
        input.port->AddBuffer(h);
    }
    input.port->Start();
    return true;
}

void InputSet::Shut(Input& input) {
    if (!input.port) {
        return;
    }
    WaitHook serve;
    if (serveHook_) {
        serve = [this, source = input.source] { serveHook_(source); };
    }
    input.port->Reset(serve);
    input.port->Close(serve);
    lostClosed_ += input.port->LostEvents();
    input.port.reset();
}

bool InputSet::Gone(std::size_t source) const {
    const auto& port = inputs_[source]->port;
    return !port || port->Gone();
}

void InputSet::CloseOne(std::size_t source) {
    Shut(*inputs_[source]);
}

bool InputSet::Reopen(std::size_t source) {
    Input& input = *inputs_[source];
    Shut(input);
    return Open(input);
}

void InputSet::Close() {
    for (auto& input : inputs_) {
        Shut(*input);
    }
}

std::uint64_t InputSet::LostEvents() const {
    std::uint64_t lost = lostClosed_;
    for (const auto& input : inputs_) {
        if (input->port) {
            lost += input->port->LostEvents();
        }
    }
    return lost;
}

} // namespace velmora::midi
