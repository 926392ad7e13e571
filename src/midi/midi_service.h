// The MIDI service layer: what Velmora needs of a platform's MIDI services,
// shaped after the operations the program performs (device lists, ports,
// short and long messages, queued sysex input buffers). Implementations:
// RtMidi (ALSA sequencer, JACK, CoreMIDI, WinMM) and an in-process simulation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/midi_graph.h"
#include "core/short_message.h"

namespace velmora::midi {

// An input buffer as the service sees it: the program owns the bytes, the
// service fills them and says how many it recorded.
struct MidiHeader {
    std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    bool prepared = false; // set by PrepareHeader, cleared by UnprepareHeader
    bool queued = false;   // between AddBuffer and its return to the callback
};

enum class InputMessage : std::uint32_t {
    Data = 0x3C3,     // a short message
    LongData = 0x3C4, // a filled (or, on reset, empty) input buffer
};

struct InputEvent {
    InputMessage code = InputMessage::Data;
    ShortMessage message = 0;     // Data
    MidiHeader* header = nullptr; // LongData
    // When the service received it, in microseconds on std::chrono::
    // steady_clock: the time the service stamped it with where it has one
    // (JACK: its frame in the cycle), else its arrival at the input thread;
    // 0 when not known (a buffer handed back empty).
    std::uint64_t micros = 0;
    // Data: what the service's own cycle already sent to the main output for
    // this message as thru (MidiOutPort::PassThruInCycle), 0 when nothing.
    ShortMessage passedThru = 0;
};

// Now on the clock InputEvent::micros is given on. Real-time safe.
std::uint64_t InputClockMicros();

// The name of the window's own input port (MidiService::OpenVirtualIn).
inline constexpr const char* kOwnInputName = "Velmora Monitor";

// Called on the service's delivery thread, one event at a time.
using InputCallback = std::function<void(const InputEvent&)>;

// Run repeatedly by a port while the caller's thread waits for the delivery
// thread to finish, so that hand-offs to the caller's thread are still served.
using WaitHook = std::function<void()>;

struct ThruSwitches; // input_state.h

class MidiInPort;

class MidiOutPort {
  public:
    virtual ~MidiOutPort() = default;
    // Safe to call from any thread, also while another thread resets the port.
    virtual bool SendShort(ShortMessage message) = 0;
    // A whole or partial sysex message; handed over when the call returns.
    virtual bool SendLong(std::span<const std::uint8_t> bytes) = 0;
    // Backends that take whole sysex messages only: bytes handed over that
    // never went out and never will (stray bytes outside a message, a
    // message that a new F0 cut off), and the bytes of a message still
    // waiting for its F7 (dropped at a reset or close).
    virtual std::uint64_t UnsentBytes() const { return 0; }
    virtual std::size_t HeldBytes() const { return 0; }
    // Gives up a held message (counted as unsent): its F7 will not come.
    virtual void DropHeld() {}
    virtual bool Reset() = 0;
    // True once the device behind the port has left or the service stopped:
    // nothing sent from then on goes out.
    virtual bool Gone() const { return false; }
    // After a successful close every send fails; the object may be destroyed.
    virtual bool Close() = 0;
    // Where the service can, thru from `from` to this port is passed inside
    // the service's own cycle, in the cycle a message arrives, while
    // `switches` say so (they must outlive both ports); each message passed
    // reaches the callback with InputEvent::passedThru set, not to be sent
    // again. Holds until either port closes or switches without a path come.
    // False where the service has no such cycle: thru is then the callback's
    // alone.
    virtual bool PassThruInCycle(MidiInPort& from, const ThruSwitches& switches) {
        (void)from;
        (void)switches;
        return false;
    }
};

class MidiInPort {
  public:
    virtual ~MidiInPort() = default;
    virtual bool PrepareHeader(MidiHeader& header) = 0;
    virtual bool UnprepareHeader(MidiHeader& header) = 0;
    // Queues a prepared buffer for incoming sysex. Callable from the callback.
    virtual bool AddBuffer(MidiHeader& header) = 0;
    virtual bool Start() = 0;
    // Stops input and returns every queued buffer to the callback with a
    // recorded-byte count of 0; returns when the callback has seen them all.
    virtual bool Reset(const WaitHook& whileWaiting) = 0;
    // Fails while buffers are still queued. After success no callback runs.
    virtual bool Close(const WaitHook& whileWaiting) = 0;
    // Events the service could not deliver (queue full, no buffer queued).
    virtual std::uint64_t LostEvents() const = 0;
    // Of those, the pieces of input that were no MIDI message (bytes out of
    // place, a message cut off by another status byte).
    virtual std::uint64_t MalformedEvents() const { return 0; }
    // True once the device behind the port has left or the service stopped:
    // nothing more will arrive through it.
    virtual bool Gone() const { return false; }
};

class MidiService {
  public:
    virtual ~MidiService() = default;
    virtual std::string Name() const = 0; // "alsa", "jack", "simulated", ...

    virtual int OutDeviceCount() = 0;
    // UTF-8 name of an output device; empty when its capabilities can't be read.
    virtual std::optional<std::string> OutDeviceName(int device) = 0;
    virtual int InDeviceCount() = 0;
    virtual std::optional<std::string> InDeviceName(int device) = 0;

    // Opens the device listed under `name` now: names stay right when other
    // programs add or remove ports, numbers do not. nullptr when there is no
    // such device or it can't be opened (for instance, held elsewhere).
    virtual std::unique_ptr<MidiOutPort> OpenOut(const std::string& name) = 0;
    virtual std::unique_ptr<MidiInPort> OpenIn(const std::string& name, InputCallback callback) = 0;

    // Velmora's own input port: a port called `name` that other programs
    // send to, with no device in between (RtMidi's virtual ports on ALSA,
    // JACK and CoreMIDI). It delivers like OpenIn's ports. nullptr where the
    // service has none (HasVirtualIn) or it can't be made.
    virtual bool HasVirtualIn() const { return false; }
    virtual std::unique_ptr<MidiInPort> OpenVirtualIn(const std::string& name,
                                                      InputCallback callback) {
        (void)name;
        (void)callback;
        return nullptr;
    }

    // False once the service itself has gone away (the JACK server stopped):
    // its ports are dead and its lists empty.
    virtual bool Running() const { return true; }
    // Counts the changes of the device lists so far (ports that came, went
    // or were renamed; the service stopping), as the service learns of them
    // itself: lists read while it said N still hold while it says N. nullopt
    // where the service cannot tell, and its lists have to be read to know.
    virtual std::optional<std::uint64_t> DeviceListChanges() const { return std::nullopt; }
    // Cycles the server ran late since the service started. A server that
    // misses a cycle drops that cycle's MIDI on its own, unseen by any port:
    // a transfer during which this count grew may be incomplete. 0 where the
    // service has no such server.
    virtual std::uint64_t LateCycles() const { return 0; }

    // Whether what Velmora sends to `outDevice` can come back on `inDevice`,
    // as far as the service sees its connections and pass-through clients.
    // Unknown where it cannot tell (hardware cables, a synth's echo). May be
    // called from the delivery thread, while the front end's thread uses the
    // service too.
    using WayBack = velmora::WayBack;
    virtual WayBack WayBackBetween(const std::string& outDevice, const std::string& inDevice) {
        (void)outDevice;
        (void)inDevice;
        return WayBack::Unknown;
    }

    // The device listed now under `device`, opened by its name.
    std::unique_ptr<MidiOutPort> OpenOut(int device);
    std::unique_ptr<MidiInPort> OpenIn(int device, InputCallback callback);
};

// What a program works on while its service is gone and none has come back
// yet: no devices, nothing opens, not running.
class NoService final : public MidiService {
  public:
    std::string Name() const override { return "none"; }
    int OutDeviceCount() override { return 0; }
    std::optional<std::string> OutDeviceName(int) override { return std::nullopt; }
    int InDeviceCount() override { return 0; }
    std::optional<std::string> InDeviceName(int) override { return std::nullopt; }
    std::unique_ptr<MidiOutPort> OpenOut(const std::string&) override { return nullptr; }
    std::unique_ptr<MidiInPort> OpenIn(const std::string&, InputCallback) override {
        return nullptr;
    }
    using MidiService::OpenIn;
    using MidiService::OpenOut;
    bool Running() const override { return false; }
};

// The names of the devices listed now, in order; a name that can't be read
// is left empty.
std::vector<std::string> OutDeviceNames(MidiService& service);
std::vector<std::string> InDeviceNames(MidiService& service);

} // namespace velmora::midi
