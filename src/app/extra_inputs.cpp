#include "app/extra_inputs.h"

#include <algorithm>
#include <chrono>

namespace velmora::app {

ExtraInputs::ExtraInputs(midi::MidiFunctions& midi, midi::InputPathState& path,
                         midi::UiSignalReceiver& receiver)
    : midi_(midi), path_(path), receiver_(receiver) {}

ExtraInputs::~ExtraInputs() {
    for (auto& signal : signals_) {
        if (signal) {
            signal->Shutdown();
        }
    }
    CloseAll();
}

void ExtraInputs::Choose(const std::vector<std::string>& names, const std::string& mainName) {
    CloseAll();
    ServeAll(); // what they handed still carries their old numbers
    chosen_.clear();
    inputs_.clear();
    for (const std::string& name : names) {
        if (chosen_.size() < kMost && !name.empty() && name != mainName &&
            std::find(chosen_.begin(), chosen_.end(), name) == chosen_.end()) {
            chosen_.push_back(name);
            inputs_.push_back({name});
        }
    }
    for (std::size_t i = 0; i < kMost; ++i) {
        if (i < chosen_.size() && !signals_[i]) {
            signals_[i] = std::make_unique<midi::UiSignal>(receiver_);
            // As the window's own: a stream is taken in ten times a second.
            signals_[i]->SetPace(std::chrono::milliseconds(100));
        }
    }
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        inputs_[i].away = !Open(i);
    }
}

const std::string& ExtraInputs::Name(std::size_t source) const {
    return source >= 1 && source <= chosen_.size() ? chosen_[source - 1] : noName_;
}

bool ExtraInputs::IsOpen(std::size_t source) const {
    return source >= 1 && source <= inputs_.size() && inputs_[source - 1].open;
}

bool ExtraInputs::AnyOpen() const {
    return std::any_of(inputs_.begin(), inputs_.end(), [](const Input& i) { return i.open; });
}

bool ExtraInputs::Open(std::size_t chosen) {
    Input& input = inputs_[chosen];
    if (!set_) {
        set_ = std::make_unique<midi::InputSet>(
            midi_.service(), [this](std::size_t setIndex, const midi::InputEvent& event) {
                Deliver(setIndex, event);
            });
        set_->SetServeHook(
            [this](std::size_t setIndex) { signals_[sourceOf_[setIndex] - 1u]->ServePending(); });
    }
    if (input.setIndex >= 0) {
        input.open = set_->Reopen(static_cast<std::size_t>(input.setIndex));
    } else {
        const std::size_t index = set_->Size();
        sourceOf_[index] = static_cast<std::uint8_t>(chosen + 1); // before it starts
        input.open = set_->Add(input.name);
        input.setIndex = input.open ? static_cast<int>(index) : -1;
    }
    return input.open;
}

// Delivery thread of the input: as the Setup panel's input, only while the
// window monitors, and clocks only when a tool asks for them.
void ExtraInputs::Deliver(std::size_t setIndex, const midi::InputEvent& event) {
    const std::uint8_t source = sourceOf_[setIndex];
    midi::UiSignal& signal = *signals_[source - 1u];
    if (midi_.InputMode.load() != midi::kMonitor) {
        return;
    }
    if (event.code == midi::InputMessage::Data) {
        if (event.message == kTimingClock) {
            if (path_.handClocks.load(std::memory_order_relaxed)) {
                signal.Raise({midi::HandedKind::Clock, event.message, {}, event.micros, source});
            }
            return;
        }
        signal.Raise({midi::HandedKind::Short, event.message, {}, event.micros, source});
    } else if (event.code == midi::InputMessage::LongData && event.header != nullptr &&
               event.header->dwBytesRecorded > 0) {
        const midi::MidiHeader& h = *event.header;
        const std::size_t n = std::min({h.dwBytesRecorded, h.dwBufferLength,
                                        static_cast<std::uint32_t>(midi::kHandedSysexBytes)});
        signal.Raise({midi::HandedKind::Sysex, 0, {h.lpData, n}, event.micros, source});
    }
}

ExtraInputs::Watch ExtraInputs::Refresh(const std::vector<std::string>& listed) {
    Watch watch;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        Input& input = inputs_[i];
        const bool isListed = std::find(listed.begin(), listed.end(), input.name) != listed.end();
        const bool portGone = input.open && set_->Gone(static_cast<std::size_t>(input.setIndex));
        const DeviceWatchStep step =
            WatchDevice({input.name, input.open, input.away}, isListed, portGone);
        if (step.action == DeviceAction::Close || step.action == DeviceAction::CloseAndReopen) {
            set_->CloseOne(static_cast<std::size_t>(input.setIndex));
            input.open = false;
            input.away = true;
        }
        if (step.action == DeviceAction::Reopen || step.action == DeviceAction::CloseAndReopen) {
            input.away = !Open(i);
        }
        if (input.away) {
            watch.away.push_back(input.name);
        }
    }
    return watch;
}

void ExtraInputs::CloseAll() {
    if (set_) {
        set_->Close();
        set_.reset();
    }
    for (Input& input : inputs_) {
        input.away = input.away || input.open;
        input.open = false;
        input.setIndex = -1;
    }
}

std::size_t ExtraInputs::Queued() const {
    std::size_t queued = 0;
    for (const auto& signal : signals_) {
        queued += signal ? signal->Queued() : 0;
    }
    return queued;
}

// Takes in what the closed inputs handed; bounded, as a handler that is
// itself serving (a modal box in it) leaves the serving to its caller.
void ExtraInputs::ServeAll() {
    for (auto& signal : signals_) {
        for (int round = 0; signal && signal->Queued() > 0 && round < 1000; ++round) {
            signal->ServePending();
        }
    }
}

} // namespace velmora::app
