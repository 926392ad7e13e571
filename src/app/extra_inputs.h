// The window's inputs beyond the Setup panel's: chosen by name, opened on
// the service's own ports, each handing what arrives to the window through a
// hand-off of its own with the input's number as the source (1 and up; 0 is
// the Setup panel's input). Only the history and the capture take them: the
// Setup panel's input alone feeds thru, the router, the record window, the
// LEDs and the data rows. A chosen input that is not listed (or left) is
// kept as chosen and opened when it is listed again.
//
// Threads: the delivery lambda runs on each port's own delivery thread; it
// neither locks nor allocates (UiSignal::Raise copies into its ring, and
// waits only while that ring is full). Everything else runs on the window
// thread, which serves an input's hand-off while closing it waits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/device_watch.h"
#include "midi/input_set.h"
#include "midi/input_state.h"
#include "midi/midi_functions.h"
#include "midi/ui_signal.h"

namespace velmora::app {

class ExtraInputs {
  public:
    // The most inputs beside the Setup panel's.
    static constexpr std::size_t kMost = 8;

    ExtraInputs(midi::MidiFunctions& midi, midi::InputPathState& path,
                midi::UiSignalReceiver& receiver);
    // What is still handed over is dropped: the window is going.
    ~ExtraInputs();
    ExtraInputs(const ExtraInputs&) = delete;
    ExtraInputs& operator=(const ExtraInputs&) = delete;

    // Closes the open ones and opens `names` (at most kMost; `mainName`, the
    // Setup panel's own, and repeats left out) on the service in use now;
    // those that can't be opened wait for their device (Refresh).
    void Choose(const std::vector<std::string>& names, const std::string& mainName);
    const std::vector<std::string>& Chosen() const { return chosen_; }
    // The name of source `source` (1 and up); "" for another.
    const std::string& Name(std::size_t source) const;
    bool IsOpen(std::size_t source) const;
    // Whether any is open: the history then shows its source column.
    bool AnyOpen() const;

    // Follows the device list (device_watch.h): closes the ones that left,
    // opens again those back. The names of those not open now.
    struct Watch {
        std::vector<std::string> away;
    };
    Watch Refresh(const std::vector<std::string>& listed);
    // The service stopped (or the window closes): every one is closed and
    // waits for its device.
    void CloseAll();

    // Closes them all and takes in what they handed (the window's close).
    void Finish() {
        CloseAll();
        ServeAll();
    }

    // Messages handed and not yet taken in by the window.
    std::size_t Queued() const;
    // Events the inputs could not deliver.
    std::uint64_t LostEvents() const { return set_ ? set_->LostEvents() : 0; }

  private:
    struct Input {
        std::string name;
        int setIndex = -1; // in set_, once opened
        bool open = false;
        bool away = false;
    };
    void Deliver(std::size_t setIndex, const midi::InputEvent& event);
    bool Open(std::size_t chosen);
    void ServeAll();

    midi::MidiFunctions& midi_;
    midi::InputPathState& path_;
    midi::UiSignalReceiver& receiver_;
    std::vector<std::string> chosen_;
    std::vector<Input> inputs_;
    std::array<std::unique_ptr<midi::UiSignal>, kMost> signals_;
    // The source of each input of set_, by its index there: written before
    // that input starts, read on its delivery thread.
    std::array<std::uint8_t, kMost> sourceOf_{};
    std::unique_ptr<midi::InputSet> set_;
    std::string noName_;
};

} // namespace velmora::app
