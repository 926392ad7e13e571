// The ports of Velmora's JACK client (jack_client.h): an output that the
// program's threads feed through a lock-free ring and the process cycle
// empties into the port buffer, and an input that the process cycle feeds
// into QueuedMidiIn's ring.
//
// Thru inside the cycle: an output linked to an input (PassThruInCycle)
// writes each short message the input reads in a cycle, thru'd, in that same
// cycle at the frame it came at; the delivery thread then does not send it
// again. The link is a pointer the input's cycle follows; whichever port
// closes first cuts it under the client's LinkMutex and waits for the cycles
// in flight, so no cycle follows it to a port that is gone.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "midi/event_ring.h"
#include "midi/input_state.h"
#include "midi/jack/jack_client.h"
#include "midi/jack/thru_backlog.h"
#include "midi/queued_midi_in.h"
#include "midi/sysex_assembler.h"

namespace velmora::midi {

// What one cycle may write to one port. PipeWire's libjack turns a port's
// events into a 32 KB control sequence at 16 bytes a header and 8 bytes a
// body at least, and drops the whole cycle when they do not fit (1,365 short
// events); jackd keeps 12 bytes an event of its 32 KB at period 256. Below
// both, with room to spare: more waits for the next cycle, nothing is cut.
struct JackCycleBudget {
    static constexpr std::size_t kBytes = 24 * 1024;
    static std::size_t Cost(std::size_t eventBytes) {
        return 24 + ((eventBytes + 7) & ~std::size_t{7});
    }
};

// Follows one device port by name: whether it is there, and whether it is
// the same port as before (a device that left and came back has a new one).
class DeviceWatch {
  public:
    explicit DeviceWatch(std::string device) : device_(std::move(device)) {}
    const std::string& Device() const { return device_; }
    bool Missing() const { return missing_.load(std::memory_order_acquire); }
    // True when the device's port is a new one since the last look (or the
    // first look): it needs connecting. Graph thread or the opening thread.
    bool CameBack(JackClient& client);

  private:
    std::string device_;
    std::atomic<bool> missing_{false};
    jack_uuid_t seen_ = 0;
    bool looked_ = false;
};

class JackInPort;

class JackOutPort final : public MidiOutPort, public JackPortWorker {
  public:
    // Registers the port and connects it to `device`; Ok() tells.
    JackOutPort(std::shared_ptr<JackClient> client, const std::string& portName,
                const std::string& device);
    ~JackOutPort() override;
    bool Ok() const { return port_ != nullptr; }

    bool SendShort(ShortMessage message) override;
    bool SendLong(std::span<const std::uint8_t> bytes) override;
    // Waits until what was handed over has left (or can't any more), then
    // counts what never went out.
    std::uint64_t UnsentBytes() const override;
    std::size_t HeldBytes() const override;
    void DropHeld() override;
    bool Reset() override;
    bool Gone() const override;
    bool Close() override;
    // Only for an input of the same client.
    bool PassThruInCycle(MidiInPort& from, const ThruSwitches& switches) override;

    void Cycle(jack_nframes_t frames) override;
    void GraphChanged() override;

    // The real-time thread, from the linked input's cycle: room for one more
    // thru'd message, and the message, at `frame` of this cycle.
    bool ThruRoom() const { return !thru_.Full(); }
    void PassThru(ShortMessage message, jack_nframes_t frame);

  private:
    friend class JackInPort;
    bool Queue(std::span<const std::uint8_t> message); // needs sendMutex_
    bool PushWaiting(std::span<const std::uint8_t> event);
    void Drain() const;
    void StopThru();

    struct CycleWriter;
    void WriteThru(CycleWriter& writer, bool connected, bool lateOnly);

    std::shared_ptr<JackClient> client_;
    jack_port_t* port_ = nullptr;
    std::string fullName_;
    DeviceWatch device_;
    EventRing ring_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> closed_{false};
    std::atomic<std::size_t> maxEvent_{0};       // set by the cycle
    std::atomic<std::uint64_t> queuedBytes_{0};  // by senders
    std::atomic<std::uint64_t> doneBytes_{0};    // by the cycle: written or dropped
    std::atomic<std::uint64_t> droppedBytes_{0}; // by the cycle, and senders that gave up
    mutable std::mutex sendMutex_;
    SysexAssembler assembler_;                // guarded by sendMutex_
    JackInPort* thruFrom_ = nullptr;          // guarded by the client's LinkMutex
    ThruBacklog thru_;                        // the real-time thread's alone
    std::atomic<std::size_t> thruWaiting_{0}; // its size, after each cycle
};

class JackInPort final : public QueuedMidiIn, public JackPortWorker {
  public:
    // Registers the port and connects `device` to it (none: Velmora's own
    // input, which others connect to); Ok() tells.
    JackInPort(InputCallback callback, std::shared_ptr<JackClient> client,
               const std::string& portName, const std::string& device);
    ~JackInPort() override;
    bool Ok() const { return port_ != nullptr; }
    bool Gone() const override;

    void Cycle(jack_nframes_t frames) override;
    void GraphChanged() override;
    bool ReadsInput() const override { return true; }

  protected:
    void StopProducer() override;

  private:
    friend class JackOutPort;
    // One message read in this cycle at `frame`, to the program's queue and,
    // while thru passes, to `thru` as well.
    void Take(std::span<const std::uint8_t> message, std::uint64_t micros, jack_nframes_t frame,
              JackOutPort* thru, int thruChannel);

    std::shared_ptr<JackClient> client_;
    jack_port_t* port_ = nullptr;
    std::string fullName_;
    DeviceWatch device_;                      // empty device: the own input
    std::unique_ptr<std::uint8_t[]> scratch_; // the cycle's copy of an event it splits
    // The cycle's clock: a frame time and when it was on the input clock,
    // from which each event's time is counted in frames (the real-time
    // thread's alone).
    bool anchored_ = false;
    std::uint32_t anchorFrame_ = 0;
    std::uint64_t anchorMicros_ = 0;
    std::mutex stopMutex_;
    bool stopped_ = false; // guarded by stopMutex_
    // The output this input's cycle passes thru to, and the switches it
    // reads there. Both change only under the client's LinkMutex, the
    // switches only while no link is set.
    std::atomic<JackOutPort*> thruTo_{nullptr};
    ThruSwitches thruSwitches_;
    // The cycle's: thru left to the delivery thread until it has caught up
    // (see Take). The real-time thread's alone.
    bool thruHeld_ = false;
};

} // namespace velmora::midi
