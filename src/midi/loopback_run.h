// One loopback test: numbered sysex probes (core/loopback_stats.h) go out on one
// port at a steady rate and are looked for at another; when all are sent
// and a settling time has passed without more coming back, the figures are
// ready (at once when every probe is back).
//
// Threads: the probes are sent from the run's own thread, paced by the
// loop the command line uses too (midi/probe_loop.h); arrivals are taken on the input's delivery
// thread (not the real-time thread: that only fills the port's queue), which may lock and allocate.
// The rest runs on the thread that made the run.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/loopback_stats.h"
#include "midi/midi_functions.h"
#include "midi/probe_loop.h"

namespace velmora::midi {

struct LoopbackRequest {
    std::string out, in; // device names
    std::size_t count = 1000;
    double rate = 100;          // probes a second
    std::size_t sysexBytes = 8; // each probe's size, checked byte for byte on return
    std::chrono::milliseconds settle{1000};
};

class LoopbackRun {
  public:
    LoopbackRun(MidiService& service, LoopbackRequest request);
    ~LoopbackRun(); // cancels and waits for the run

    // Opens both ports and starts sending; false with `error` when a port
    // can't be opened.
    bool Start(std::string& error);
    bool Done() const { return done_.load(); }
    std::size_t Sent() const { return sentCount_.load(); }
    std::size_t Back() const;
    // Stops sending; what was sent so far is counted.
    void Cancel();
    // Once Done: closes the ports and works out the figures.
    LoopbackReport Finish();

    static constexpr int kBuffers = 16;

  private:
    void Send();
    void Deliver(const InputEvent& event);
    bool SendProbe(std::uint32_t n);

    MidiService& service_;
    const LoopbackRequest request_;
    std::unique_ptr<MidiOutPort> out_;
    std::unique_ptr<MidiInPort> in_;
    std::vector<MidiHeader> headers_;
    std::vector<std::vector<std::uint8_t>> buffers_;

    ProbeLoop loop_{request_.count, request_.rate, request_.settle};
    mutable std::mutex lock_;              // the figures below
    std::vector<std::int64_t> sentMicros_; // on InputClockMicros
    LoopbackCollector back_{request_.sysexBytes};
    std::atomic<std::size_t> sentCount_{0};
    std::atomic<bool> done_{false};
    std::thread sender_;
    bool finished_ = false;
};

} // namespace velmora::midi
