// A JACK MIDI client for integration tests: a peer that plays into Velmora's
// ports and records what Velmora sends, byte for byte.
//
// The peer has one MIDI output port "out" and one MIDI input port "in".
// Events given to Send go out in order, as many per process cycle as the
// port buffer holds; every event arriving at "in" is kept, byte-exact and in
// order, until ClearReceived. The process callback never allocates or
// locks: both directions pass through lock-free ring buffers.
//
// The server is the one JACK_DEFAULT_SERVER names (the ctest fixture "jack"
// sets it); the peer never starts a server.
//
//   auto peer = velmora::jacktest::JackPeer::Open("peer", &error);
//   auto in = service->OpenIn(deviceOf(peer->OutPort()), callback);  // Velmora connects
//   peer->WaitConnected(peer->OutPort(), "Velmora in:in");   // before sending!
//   peer->Send({0x90, 0x3C, 0x40});
//   peer->WaitForEvents(1);
//   auto events = peer->Received();
//
// Events sent before the server's graph has taken a new connection in are
// lost: wait with WaitConnected (Connect does it itself). Without realtime
// scheduling a busy machine makes the server run late now and then, and JACK
// drops the MIDI of a cycle a client missed: XRuns() counts those, so a test
// can repeat a transfer that came up short meanwhile.
//
// One 10,000-byte sysex fits in one event: at period 256 a JACK2 MIDI port
// buffer takes events of up to 32,720 bytes, of which the peer uses 32,704
// (MaxEventBytes tells; see there).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace velmora::jacktest {

using namespace std::chrono_literals;

class JackPeer {
  public:
    using Event = std::vector<std::uint8_t>;

    // Opens the client `name` (JACK adds "-01" and so on when the name is
    // taken: ClientName() tells). nullptr, with the reason in *error, when no
    // server answers.
    static std::unique_ptr<JackPeer> Open(const std::string& name, std::string* error = nullptr);
    ~JackPeer();
    JackPeer(const JackPeer&) = delete;
    JackPeer& operator=(const JackPeer&) = delete;

    const std::string& ClientName() const { return clientName_; }
    std::string InPort() const { return clientName_ + ":in"; }   // where others send to
    std::string OutPort() const { return clientName_ + ":out"; } // what others listen to

    // Queues one event (any bytes, 1 to MaxEventBytes() long) for "out",
    // waiting up to `timeout` while the queue is full. One thread at a time.
    bool Send(std::span<const std::uint8_t> event, std::chrono::milliseconds timeout = 10s);
    bool Send(std::initializer_list<std::uint8_t> event) {
        return Send(std::span(event.begin(), event.size()));
    }
    // From now on each event goes out at this frame of its cycle (the last
    // frame where a cycle is shorter); 0, the first, by default. Not while
    // echoing.
    void SetSendFrame(std::uint32_t frame) { sendFrame_.store(frame); }
    // Waits until every queued event has gone out and been delivered.
    bool WaitSent(std::chrono::milliseconds timeout = 10s);
    // The longest event the output port takes in one cycle, less 16 bytes
    // that PipeWire's libjack needs and does not count (0 before the first
    // cycle has run; Open waits for it).
    std::size_t MaxEventBytes() const { return maxEventBytes_.load(); }

    // Connects an output port to an input port, by full names ("client:port"),
    // and waits until events flow through the connection (WaitConnected);
    // true also when they were already connected.
    bool Connect(const std::string& source, const std::string& destination);
    // Waits until `source` is connected to `destination` (whoever connected
    // them) and the server's graph has taken the connection in: events sent
    // sooner may be lost. Wait for this after Velmora opens a port on the peer.
    bool WaitConnected(const std::string& source, const std::string& destination,
                       std::chrono::milliseconds timeout = 10s);
    // Waits until this client's process callback has run `count` more times.
    bool WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout = 10s);
    bool Disconnect(const std::string& source, const std::string& destination);
    // Full names of the MIDI ports whose names match `pattern` (an extended
    // regular expression; "" for all). `flags`: 0, or JackPortIsInput or
    // JackPortIsOutput from <jack/types.h>.
    std::vector<std::string> Ports(const std::string& pattern = "", unsigned long flags = 0) const;
    // Polls until the port `fullName` exists.
    bool WaitForPort(const std::string& fullName, std::chrono::milliseconds timeout = 10s) const;

    // From now on everything that arrives at "in" also goes straight out of
    // "out" in the same cycle, as a loopback port (ALSA's Midi Through) does.
    void SetEcho(bool on) { echo_.store(on); }
    // While echoing, every `n`th event is left out (0: none), as a lossy
    // cable would.
    void SetEchoDropEvery(std::uint32_t n) { dropEvery_.store(n); }

    // What arrived at "in" so far.
    std::vector<Event> Received();
    // The frame time (the server's count of frames) of each, in order.
    std::vector<std::uint32_t> ReceivedFrames();
    // The frame time of the cycle the last event sent went out in (its
    // first frame), and the server's frames a second.
    std::uint32_t LastSentFrame() const { return lastSentFrame_.load(); }
    std::uint32_t SampleRate() const;
    Event ReceivedBytes(); // every event, one after the other
    std::size_t ReceivedCount();
    std::size_t ReceivedByteCount();
    // Polls until at least `count` events / `bytes` bytes have arrived.
    bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout = 10s);
    bool WaitForBytes(std::size_t bytes, std::chrono::milliseconds timeout = 10s);
    void ClearReceived();
    // Events lost on the way in because the receive queue was full, or on the
    // way out because they were longer than the port takes.
    std::uint64_t LostEvents() const { return lost_.load(); }
    // Cycles the server ran late so far (its xrun notices, and the cycles
    // this client missed, which PipeWire does not notify). Without realtime scheduling a
    // busy machine makes some; JACK drops the MIDI of a cycle a client
    // missed, so a test that lost events may repeat its transfer when this
    // count changed meanwhile.
    std::uint64_t XRuns() const { return xruns_.load(); }

  private:
    struct Jack; // the JACK handles, kept out of this header
    JackPeer();
    static int Process(std::uint32_t frames, void* self);
    void Drain(); // moves arrived events into received_; needs receivedMutex_

    std::unique_ptr<Jack> jack_;
    std::string clientName_;
    std::atomic<std::size_t> maxEventBytes_{0};
    std::atomic<std::uint64_t> cycles_{0};
    std::atomic<std::uint64_t> lost_{0};
    std::atomic<std::uint64_t> xruns_{0};
    std::atomic<bool> echo_{false};
    std::atomic<std::uint32_t> dropEvery_{0};
    std::uint32_t echoed_ = 0; // the process callback's alone
    std::atomic<std::uint32_t> lastSentFrame_{0};
    std::atomic<std::uint32_t> sendFrame_{0};
    std::mutex sendMutex_;
    std::mutex receivedMutex_;
    std::vector<Event> received_;               // guarded by receivedMutex_
    std::vector<std::uint32_t> receivedFrames_; // guarded by receivedMutex_
    std::size_t receivedBytes_ = 0;             // guarded by receivedMutex_
};

} // namespace velmora::jacktest
