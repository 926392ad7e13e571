// Velmora's one JACK client: every port Velmora opens (inputs, outputs, the
// own input) is a port of it, and it is activated as soon as it opens, so the
// server's shutdown notice reaches it on jackd and on PipeWire alike
// (PipeWire's libjack tells only activated clients).
//
// Threads:
//   - the server's process thread runs Process: it walks a fixed table of
//     port workers and never blocks, locks or allocates;
//   - the server's notification thread runs the shutdown, registration and
//     connection callbacks: they only set flags and bump a counter (and the
//     shutdown wakes the callers waiting for the server), since libjack
//     forbids calls back into the server from there;
//   - the client's own graph thread wakes on that counter and reconnects open
//     ports to devices that came back;
//   - every other libjack call goes through Ask, which runs it on the
//     client's call thread with a bound (jack_calls.h): a server that does
//     not answer within it counts as stopped, like one that shut down. The
//     graph thread also asks the server whether it is alive when no cycle
//     has run for a while, so a frozen server is noticed with nothing else
//     asking it anything.
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/jack/jack_calls.h"
#include "midi/jack/missed_cycles.h"

namespace velmora::midi {

// What a port does in each process cycle. Cycle runs on the real-time thread.
class JackPortWorker {
  public:
    virtual ~JackPortWorker() = default;
    virtual void Cycle(jack_nframes_t frames) = 0;
    // Inputs run first in every cycle, so that what they pass on (thru) is
    // written by the outputs in the same cycle.
    virtual bool ReadsInput() const { return false; }
    // On the graph thread after the graph changed: connect again what left
    // and came back. Never on the real-time thread.
    virtual void GraphChanged() {}
};

class JackClient : public std::enable_shared_from_this<JackClient> {
  public:
    // Opens "base", or "base-01", "base-02", ... when taken (the number is
    // ours, never one the server picks), on the server JACK_DEFAULT_SERVER
    // names, never starting one. nullptr, with the reason, when none answers.
    static std::shared_ptr<JackClient> Open(const std::string& base, std::string* why);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    const std::string& Name() const { return name_; }
    // For the process callback's own calls only (it runs while the server
    // does); any other thread asks through Ask.
    jack_client_t* HandleForCycle() const { return client_; }
    bool Running() const { return running_.load(std::memory_order_acquire); }

    // Runs `ask(handle)`, libjack calls on this client, on the call thread
    // and returns its result; nullopt when the server stopped, the ask threw,
    // or the server did not answer within JackCalls::kAnswerBound (from then
    // on the client counts as stopped). `ask` may run after the caller gave
    // up: it captures by value and touches nothing but what it owns.
    template <class Question>
    auto Ask(Question ask) -> std::optional<std::invoke_result_t<Question&, jack_client_t*>> {
        if (!Running()) {
            return std::nullopt;
        }
        auto answer = calls_->Run(std::move(ask));
        if (!calls_->Answered()) {
            GiveUp();
        }
        return answer;
    }

    // Asks the server a question only it can answer: false when it stopped
    // or did not answer within the bound (then it counts as stopped).
    bool Answers();

    // Unregisters one of our ports, unless the server stopped.
    void Unregister(jack_port_t* port);

    // Runs `worker` in every cycle from the next one on; false when the table
    // is full. Remove returns once no cycle uses the worker any more, and the
    // graph thread does not call it any more either.
    bool Add(JackPortWorker* worker);
    void Remove(JackPortWorker* worker);
    // Returns once every cycle begun so far has finished: what a cycle read
    // before a change (a pointer it may follow) is no longer in use.
    void WaitCyclesInFlight() const;
    // Guards the thru links between our ports (jack_ports.h). Never taken
    // on the real-time thread.
    std::mutex& LinkMutex() { return linkMutex_; }

    // The cycles run so far; waits until `count` more have run. False when
    // the server stopped or ran none for `timeout`.
    std::uint64_t Cycles() const { return cycles_.load(std::memory_order_acquire); }
    bool WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const;

    // The server's MIDI ports, "client:port", in its order: those that
    // receive (JackPortIsInput) or those that send.
    std::vector<std::string> MidiPorts(bool receiving);
    // Counts graph changes (ports and connections that came or went).
    std::uint64_t GraphVersion() const { return graph_.load(std::memory_order_acquire); }
    // Cycles the server ran late: the more of its xrun notices (jackd) and
    // the gaps between this client's cycles (PipeWire, which sends no xrun
    // notices); one late cycle on jackd usually gives both.
    std::uint64_t LateCycles() const {
        return std::max(lateCycles_.load(std::memory_order_acquire),
                        cycleGaps_.load(std::memory_order_acquire));
    }

  private:
    static constexpr std::size_t kMaxWorkers = 64;
    explicit JackClient(jack_client_t* client);
    // The server did not answer: the client counts as stopped, and is closed
    // should the server ever answer again (it is kept until then, as the
    // server would call it back).
    void GiveUp();
    // What libjack calls back through (`self` in the callbacks below). A
    // client whose server went away is never closed (see the destructor),
    // so libjack may call it after it is gone: the gate outlives it and
    // says whether it is still there.
    struct CallbackGate {
        std::atomic<JackClient*> client{nullptr};
        std::atomic<int> inside{0}; // callbacks running now
    };
    class GateEntry;
    static CallbackGate* NewGate(JackClient* client);
    static int Process(jack_nframes_t frames, void* self);
    static void Shutdown(jack_status_t code, const char* reason, void* self);
    static void PlainShutdown(void* self);
    static int XRun(void* self);
    static void PortRegistered(jack_port_id_t, int, void* self);
    static void PortConnected(jack_port_id_t, jack_port_id_t, int, void* self);
    static void ClientRegistered(const char*, int, void* self);
    static void PortRenamed(jack_port_id_t, const char*, const char*, void* self);
    void NoteGraphChange();
    static void NoteGraphChangeThrough(void* gate);
    void GraphLoop();

    jack_client_t* client_ = nullptr;
    CallbackGate* gate_ = nullptr; // never freed
    std::string name_;
    std::atomic<bool> running_{true};
    std::atomic<bool> givenUp_{false};
    std::unique_ptr<JackCalls> calls_;
    std::array<std::atomic<JackPortWorker*>, kMaxWorkers> workers_{};
    std::atomic<std::uint64_t> cyclesStarted_{0};
    std::atomic<std::uint64_t> cycles_{0}; // cycles finished
    std::atomic<std::uint64_t> lateCycles_{0};
    std::atomic<std::uint64_t> cycleGaps_{0};
    MissedCycles missedCycles_; // the real-time thread's alone

    // The graph thread.
    std::atomic<std::uint64_t> graph_{0};
    std::mutex graphMutex_;
    std::condition_variable graphCv_;
    bool stopGraph_ = false;      // guarded by graphMutex_
    std::uint64_t graphSeen_ = 0; // guarded by graphMutex_
    std::mutex workersMutex_;     // Add/Remove and the graph thread's walk
    std::mutex linkMutex_;
    std::thread graphThread_;
};

} // namespace velmora::midi
