// The program's only door to the MIDI service: device lists, the main output,
// the four router outputs and the input with its pool of 16 sysex buffers,
// the millisecond clock, and the MIDI state the windows and the input
// callback share. Every operation reports its own failure through the
// Reporter and answers yes or no. Called on the window thread unless said.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/hand_off.h"
#include "midi/input_state.h"
#include "midi/midi_service.h"
#include "midi/reporter.h"
#include "midi/tick_clock.h"

namespace velmora::midi {

constexpr int kInputBufferCount = 16;
constexpr std::uint16_t kInputBufferSize = 4096;

namespace text {
inline constexpr const char* kNoOutDevice =
    "No Midi out device found, this application can't be start!";
inline constexpr const char* kNoInDevice =
    "No Midi in device found, this application can't be start!";
inline constexpr const char* kOutCaps = "Error when reading Midi out capabilities!";
inline constexpr const char* kInCaps = "Error when reading Midi in capabilities!";
inline constexpr const char* kOpenOut =
    "Error when trying to open Midi out device!\nThis device is "
    "probably open by another application and can't be shared.";
inline constexpr const char* kCloseOut = "Error when trying to close Midi out device!";
inline constexpr const char* kOpenIn = "Error when trying to open Midi in device!\nThis device is "
                                       "probably open by another application and can't be shared.";
inline constexpr const char* kCloseIn = "Error when trying to close Midi in device!";
inline constexpr const char* kPrepare = "Error when trying to prepare Midi in headder!";
inline constexpr const char* kAdd = "Error when trying to add Midi in headder!";
inline constexpr const char* kUnprepare = "Error when trying to unprepare Midi in headder!";
} // namespace text

// One input buffer: a header and its bytes, owned together.
class TMidiHeader {
  public:
    explicit TMidiHeader(std::uint16_t size);
    MidiHeader Header;

  private:
    std::vector<std::uint8_t> data_;
};

// An output port that the window thread opens and closes while the MIDI
// thread may send on it: sends and closing never overlap.
class OutputSlot {
  public:
    bool IsOpen() const;
    // Open, but the device behind it left (maybe to come back since): dead.
    bool Gone() const;
    bool SendShort(ShortMessage message);
    bool SendLong(std::span<const std::uint8_t> bytes);
    // As MidiOutPort says; 0 when nothing is open.
    std::uint64_t UnsentBytes() const;
    std::size_t HeldBytes() const;
    void DropHeld();
    // The device the port is open on; empty when nothing is open.
    std::string DeviceName() const;

  private:
    friend class MidiFunctions;
    mutable std::mutex lock_;
    std::unique_ptr<MidiOutPort> port_;
    std::string deviceName_;
};

class MidiFunctions {
  public:
    MidiFunctions(MidiService& service, Reporter& reporter, TickSource ticks = SteadyTickCount);
    ~MidiFunctions();

    // Appends every device name (UTF-8) to `list` in device-number order.
    bool ListMidiOutDevices(std::vector<std::string>& list);
    bool ListMidiInDevices(std::vector<std::string>& list);

    // Open the device chosen by name (MidiOutDeviceName, MidiInDeviceName).
    bool OpenMidiOut();
    bool CloseMidiOut();
    bool OpenRouterOut(int k, const std::string& deviceName); // k = 1..4
    bool OpenRouterOut(int k, int device); // the device listed now under `device`
    bool CloseRouterOut(int k);
    bool OpenMidiIn(InputCallback callback);
    bool CloseMidiIn();

    // The switches of the input callback's thru (MidiInCallback sets them):
    // where the service can, the input and the main output are linked so
    // that thru passes inside the service's own cycle
    // (MidiOutPort::PassThruInCycle). `path` must outlive the link: null
    // cuts it.
    void SetThruSwitches(const InputPathState* path);

    void PrepareInputBuffers();
    void AddInputBuffers();
    void ReleaseInputBuffers();

    // Any thread.
    std::int32_t ElapsedMs() { return clock_.ElapsedMs(); }
    void StartClock() { clock_.Start(); }

    // Run while the window thread waits for the input to stop, so hand-offs
    // raised by the MIDI thread meanwhile are still served.
    void SetWaitHook(WaitHook hook) { waitHook_ = std::move(hook); }

    Reporter& reporter() { return reporter_; }
    MidiService& service() { return *service_; }
    // Works on another service from now on: the last one went away (a JACK
    // server that stopped) and every port of it is closed. Window thread.
    void ReplaceService(MidiService& service) { service_ = &service; }
    OutputSlot& MidiOutHandle() { return mainOut_; }
    OutputSlot& RouterOutHandle(int k) { return routerOut_.at(static_cast<std::size_t>(k - 1)); }
    // The open input port, for the callback's hand-back of buffers; null when closed.
    MidiInPort* MidiInHandle() const { return inPortForCallback_.load(); }
    bool InputOpen() const { return inPort_ != nullptr; }
    // Open, but the device behind it left (maybe to come back since): dead.
    bool InputGone() const { return inPort_ != nullptr && inPort_->Gone(); }
    std::size_t InputBufferCount() const { return InputBufferList_.size(); }
    // Whether what goes out through `slot` can come back at the open input,
    // as the service sees its graph. Called on the delivery thread.
    MidiService::WayBack WayBackFrom(const OutputSlot& slot);
    // Events the service could not deliver, over every input opened so far.
    std::uint64_t LostInputEvents() const {
        return lostByClosedInputs_ + (inPort_ ? inPort_->LostEvents() : 0);
    }
    // Of those, the pieces of input that were no MIDI message.
    std::uint64_t MalformedInputEvents() const {
        return malformedByClosedInputs_ + (inPort_ ? inPort_->MalformedEvents() : 0);
    }

    // The chosen devices, by name: a device keeps its name while other
    // programs add and remove ports, not its place in the lists.
    std::string MidiOutDeviceName;
    std::string MidiInDeviceName;
    // Velmora's own input port, which other programs send to: chosen like a
    // device, by this name in MidiInDeviceName, where the service makes such
    // ports. Empty: none.
    std::string OwnInputName = kOwnInputName;
    bool OwnInputOffered() const { return !OwnInputName.empty() && service_->HasVirtualIn(); }
    // The entries of an input list: the devices listed now, then the own
    // input port where it is offered (so device numbers stay list places).
    std::vector<std::string> InputEntries();
    // Chooses the device listed now under `device`; false when there is none.
    bool ChooseMidiOut(int device);
    bool ChooseMidiIn(int device);

    // Shared with the input callback.
    std::atomic<bool> InputActive{false};
    std::atomic<int> InputMode{kMonitor};
    std::atomic<ShortMessage> LastShortMessage{0};
    SysexStore sysex;

  private:
    bool OpenOutput(OutputSlot& slot, const std::string& deviceName);
    bool CloseOutput(OutputSlot& slot);
    bool ListDevices(std::vector<std::string>& list, bool output);
    void LinkThru();

    MidiService* service_;
    Reporter& reporter_;
    ElapsedClock clock_;
    WaitHook waitHook_;
    OutputSlot mainOut_;
    std::array<OutputSlot, 4> routerOut_;
    std::unique_ptr<MidiInPort> inPort_;
    std::atomic<MidiInPort*> inPortForCallback_{nullptr};
    std::vector<std::unique_ptr<TMidiHeader>> InputBufferList_;
    bool haveBufferList_ = false;
    std::uint64_t lostByClosedInputs_ = 0;
    mutable std::mutex openInLock_;
    std::string openInName_; // the open input's device or own port; guarded by openInLock_
    std::uint64_t malformedByClosedInputs_ = 0;
    ThruSwitches thruSwitches_; // no path: thru is the callback's alone
};

} // namespace velmora::midi
