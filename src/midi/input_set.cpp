#include "cli/input_set.h"

#include <cstdio>

#include "core/terminal_text.h"
#include "midi/midi_functions.h"

namespace velmora::cli {
namespace {

constexpr std::size_t kBuffersPerInput = 8;

} // namespace

std::vector<std::string> TakeInputs(std::span<const std::string_view> args,
                                    std::vector<std::string_view>& rest, std::string& error) {
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "-i" || a == "--in") {
            if (i + 1 == args.size()) {
                error = std::string(a) + " needs a value";
                break;
            }
            inputs.emplace_back(args[++i]);
        } else if (a.starts_with("--in=")) {
            inputs.emplace_back(a.substr(5));
        } else {
            rest.push_back(a);
        }
    }
    return inputs;
}

bool InputSet::Add(const std::string& name, const char* command) {
    auto input = std::make_unique<Input>();
    input->source = inputs_.size();
    input->name = name;
    if (!Open(*input)) {
        std::fprintf(stderr, "velmora-cli %s: can't open the MIDI input '%s'\n", command,
                     TerminalSafe(name).c_str());
        return false;
    }
    inputs_.push_back(std::move(input));
    return true;
}

bool InputSet::Open(Input& input) {
    Input* raw = &input;
    input.port = service_.OpenIn(input.name, [this, raw](const midi::InputEvent& event) {
        deliver_(raw->source, event);
        midi::MidiHeader* h = event.header;
        if (event.code == midi::InputMessage::LongData && h != nullptr && h->dwBytesRecorded > 0) {
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
    input.buffers.assign(kBuffersPerInput, std::vector<std::uint8_t>(midi::kInputBufferSize));
    for (std::size_t b = 0; b < kBuffersPerInput; ++b) {
        midi::MidiHeader& h = input.headers[b];
        h.lpData = input.buffers[b].data();
        h.dwBufferLength = midi::kInputBufferSize;
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
    input.port->Reset({});
    input.port->Close({});
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

} // namespace velmora::cli
