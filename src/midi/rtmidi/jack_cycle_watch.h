// A JACK client without ports that counts the server's process cycles and
// notices when the server goes away, and the send budget built on it. It is
// never activated: it reads the frame time the server sets at the start of
// each cycle, so no thread of it wakes up every cycle while Velmora idles.
//
// RtMidi's JACK output queues what it is sent (16 KB) and moves the queue
// into its port buffer (about 32 KB, 12 bytes of it per event) once per
// cycle, dropping what does not fit; when the queue is full, a send waits
// for room without end, even when the server is gone. An output that sends
// at most JackSendBudget::kBytesPerCycle per counted cycle neither overruns
// the port buffer nor fills the queue, and stops sending when cycles stop.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/frame_cycles.h"
#include "core/midi_graph.h"

namespace velmora::midi {

class JackCycleWatch {
  public:
    // Opens the client `clientName` on the server JACK_DEFAULT_SERVER names,
    // never starting one, and waits at most `timeout` for the server to
    // answer. nullptr, with the reason in *why, when it does not.
    static std::shared_ptr<JackCycleWatch>
    Open(const std::string& clientName, std::chrono::milliseconds timeout, std::string* why);
    ~JackCycleWatch();
    JackCycleWatch(const JackCycleWatch&) = delete;
    JackCycleWatch& operator=(const JackCycleWatch&) = delete;

    // The cycles begun since the client opened. Never on the real-time thread.
    std::uint64_t Cycles() const;
    // False once the server has shut the client down.
    bool Running() const { return running_.load(std::memory_order_acquire); }
    // Waits until a cycle after `cycle` has begun; false when the server
    // stopped, or ran no cycle for `timeout`.
    bool WaitPast(std::uint64_t cycle, std::chrono::milliseconds timeout) const;
    // The MIDI ports of every client, "client:port", in the server's order:
    // those that receive (`receiving`, where an output sends) or those that
    // send (where an input listens).
    std::vector<std::string> MidiPorts(bool receiving) const;
    // Every MIDI port by its full name, its client as its node, what each
    // sending port is connected to; a client with a physical port (a
    // hardware bridge) is Outside. Any thread but the real-time one.
    MidiGraph Graph() const;
    // The ports connected now to the port called `port`; none when there is
    // no such port.
    std::vector<std::string> Connections(const std::string& port) const;

  private:
    JackCycleWatch() = default;
    static void Shutdown(void* self);

    void* client_ = nullptr; // jack_client_t
    std::atomic<bool> running_{true};
    mutable std::mutex countMutex_;
    mutable FrameCycles cycles_; // guarded by countMutex_
};

// Paces one JACK output by the counted cycles. One thread at a time.
class JackSendBudget {
  public:
    static constexpr std::size_t kEventOverhead = 12;
    // Three full sysex blocks a cycle: well inside RtMidi's 16 KB queue,
    // which the port drains once a cycle, and fast enough that a file goes
    // out at about the speed of a bare send loop. Never the whole queue:
    // RtMidi spins until a full queue drains, and if the server dies during
    // that wait no cycle ever drains it. The 64 bytes more are for the ends
    // of messages a little over 4 KB (a 4104-byte bank dump goes as 4096 + 8
    // bytes): without them only two such messages would go a cycle.
    static constexpr std::size_t kBytesPerCycle = 3 * (4096 + kEventOverhead) + 64;
    static constexpr std::chrono::milliseconds kStallTimeout{2000};

    explicit JackSendBudget(std::shared_ptr<JackCycleWatch> watch) : watch_(std::move(watch)) {}

    // Called before sending `bytes` as one event: true when they may go now,
    // after waiting for the next cycle when this one's budget is spent; false
    // when the server is gone or stalled.
    bool Take(std::size_t bytes);

  private:
    std::shared_ptr<JackCycleWatch> watch_;
    std::uint64_t cycle_ = 0;
    std::size_t used_ = 0;
};

} // namespace velmora::midi
