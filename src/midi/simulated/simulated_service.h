// An in-process MIDI service: named devices, outputs that record what they
// are sent, inputs fed by tests or by a looped performance, and failure
// injection for every operation the program checks. Deterministic; every
// method may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "midi/midi_service.h"

namespace velmora::midi {

// One message of a looped performance.
struct TimedMessage {
    std::uint32_t timeMs = 0; // from the start of the loop
    std::vector<std::uint8_t> bytes;
};

// What an input device plays, over and over, while its port is started.
struct LoopedPerformance {
    std::uint32_t loopMs = 0;         // every event lies in [0, loopMs)
    std::vector<TimedMessage> events; // times non-decreasing
};

// The operations whose failure can be injected. The device of OutCaps,
// InCaps, OpenOut and OpenIn is the device asked for; of the others, the
// device of the port.
enum class SimOp {
    OutCaps, // OutDeviceName gives no name
    InCaps,  // InDeviceName gives no name
    OpenOut, // the device is held by another application
    OpenIn,  // the device is held by another application
    OutSendShort,
    OutSendLong,
    OutReset,
    OutClose,
    PrepareHeader,
    UnprepareHeader,
    AddBuffer,
    InStart,
    InReset,
    InClose,
    Count
};

// A message recorded by a simulated output.
struct SentMessage {
    std::uint64_t port = 0; // PortId of the port that sent it
    bool isLong = false;
    ShortMessage message = 0;        // a short message
    std::vector<std::uint8_t> bytes; // a long message
};

namespace detail {
struct SimState;
}

class SimulatedService : public MidiService {
  public:
    static constexpr int kAnyDevice = -1;

    SimulatedService(std::vector<std::string> outputNames, std::vector<std::string> inputNames);
    // Stops every performance still playing; ports left open stay safe to use.
    ~SimulatedService() override;

    SimulatedService(const SimulatedService&) = delete;
    SimulatedService& operator=(const SimulatedService&) = delete;

    std::string Name() const override { return "simulated"; }
    int OutDeviceCount() override;
    std::optional<std::string> OutDeviceName(int device) override;
    int InDeviceCount() override;
    std::optional<std::string> InDeviceName(int device) override;
    std::unique_ptr<MidiOutPort> OpenOut(const std::string& name) override;
    std::unique_ptr<MidiInPort> OpenIn(const std::string& name, InputCallback callback) override;
    // Own input ports, as RtMidi's virtual ports: none unless offered.
    bool HasVirtualIn() const override;
    std::unique_ptr<MidiInPort> OpenVirtualIn(const std::string& name,
                                              InputCallback callback) override;
    using MidiService::OpenIn;
    using MidiService::OpenOut;
    bool Running() const override;
    // Counts SetPresent, SetRunning and OfferVirtualIn; nullopt while a rule
    // makes names fail (OutCaps, InCaps): the lists then change as they are read.
    std::optional<std::uint64_t> DeviceListChanges() const override;
    // Nothing a simulated output is sent comes back at an input (None),
    // unless it loops back (SetLoopback: Possible) or a test says otherwise
    // with SetWayBack.
    WayBack WayBackBetween(const std::string& outDevice, const std::string& inDevice) override;
    void SetWayBack(const std::string& outDevice, const std::string& inDevice, WayBack wayBack);
    // From now on what the output device is sent also arrives at the input
    // device, as through a loopback client (ALSA's Midi Through); -1 for
    // no input ends that.
    void SetLoopback(int outDevice, int inDevice);

    // --- Devices coming and going. A device number below is the device's
    // place in the list given at construction; the service lists only the
    // present ones. A device that goes away takes no more messages.
    void SetPresent(bool output, int device, bool present);
    // Outputs opened from now on take only whole sysex messages, as the ALSA
    // sequencer, CoreMIDI and WinMM do (blocks are held until their F7).
    void SetWholeMessagesOnly(bool wholeMessages);
    // Makes OpenVirtualIn work from now on. An own input port is an input
    // device that is never listed and opens only through OpenVirtualIn; its
    // number (VirtualInDevice) takes injected messages like any other.
    void OfferVirtualIn(bool offer);
    // The device number of the own input port called `name`, once one was
    // opened; -1 before.
    int VirtualInDevice(const std::string& name) const;
    // The whole service going away (a stopped JACK server) and coming back.
    void SetRunning(bool running);
    // The device number of the present device called `name`; -1 when none.
    // For an input, else that of the own input port called `name`.
    int OutDeviceNumber(const std::string& name) const;
    int InDeviceNumber(const std::string& name) const;

    // --- Failure injection. Each call of an operation that a rule matches
    // (same operation, same device or kAnyDevice) counts against the rule.
    // The `nth` matching call from now fails, once (1 = the next one).
    void FailNth(SimOp op, int nth = 1, int device = kAnyDevice);
    // Every matching call fails until the rule is cleared.
    void FailEvery(SimOp op, int device = kAnyDevice);
    void ClearFailures();
    void ClearFailures(SimOp op);
    // Calls of an operation so far, failed ones included.
    std::uint64_t Calls(SimOp op) const;

    // --- Opens: successful opens so far, and ports open now (not yet closed
    // or destroyed). Several ports may open the same device.
    int OutOpens(int device) const;
    int OutOpenNow(int device) const;
    int InOpens(int device) const;
    int InOpenNow(int device) const;
    // A port's identity as recorded in SentMessage::port; 0 for a port that
    // is not simulated.
    static std::uint64_t PortId(const MidiOutPort& port);
    static std::uint64_t PortId(const MidiInPort& port);

    // --- What the outputs were sent, in order.
    std::vector<SentMessage> Sent(int device) const;
    // Every message recorded since the last ClearSent, also those the record
    // limit has dropped.
    std::uint64_t SentCount(int device) const;
    std::uint64_t DroppedRecords(int device) const;
    // Waits until SentCount(device) >= count; false on timeout.
    bool WaitSent(int device, std::uint64_t count, std::chrono::milliseconds timeout) const;
    void ClearSent(int device);
    // Keeps at most the last `perDevice` records of each output; 0 = all.
    void SetRecordLimit(std::size_t perDevice);

    // --- Input. An injected message goes to every open port of the device
    // through its queue; false when no open, started port took it (not
    // open, not started, or the queue was full).
    bool InjectShort(int device, ShortMessage message);                // 1 to 3 bytes by its status
    bool InjectSysex(int device, std::span<const std::uint8_t> bytes); // from F0
    bool InjectBytes(int device, std::span<const std::uint8_t> bytes); // as they are
    // Waits until everything injected into the device's open ports has been
    // delivered and the callback has returned; false on timeout.
    bool WaitIdle(int device, std::chrono::milliseconds timeout) const;
    // The performance the device plays, from its start, while a port of it
    // is started (ports started from now on). An empty one plays nothing.
    void SetPerformance(int device, LoopedPerformance performance);
    // Size of the event queue of input ports opened from now on.
    void SetInputQueueBytes(std::size_t bytes);

  private:
    std::shared_ptr<detail::SimState> state_;
};

// The demo service (for velmora --demo): outputs "Velmora Demo Synth" and
// "Velmora Demo Synth 2" that accept everything, keeping the last
// kDemoRecordLimit records each; input "Velmora Demo Keyboard", which plays
// DemoPerformance() (demo_performance.h) while it is started.
std::unique_ptr<SimulatedService> CreateDemoService();

} // namespace velmora::midi
