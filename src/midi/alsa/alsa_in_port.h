// An input from the ALSA sequencer: a client of its own with one port, fed by
// the device it is subscribed to (or, for Velmora's own input port, by
// whoever connects to it). Its reading thread waits in poll() on the
// client's descriptors and an eventfd that Close writes to; it only reads
// events, joins sysex pieces into whole messages (SysexJoiner, storage
// reserved when the port opens) and enqueues them (QueuedMidiIn's ring): it
// never blocks on a lock and never allocates in Velmora's code. An input
// overrun (the sequencer dropping events for a full pool, -ENOSPC) is
// counted among the lost events, and a sysex message it cut is dropped.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/sysex_joiner.h"
#include "midi/alsa/port_watch.h"
#include "midi/port_names.h"
#include "midi/queued_midi_in.h"

namespace velmora::midi::alsa {

// The longest sysex message joined: what the input queue can hold at once.
inline constexpr std::size_t kMaxJoinedSysex = (std::size_t{16} << 20) - 64;

class AlsaInPort final : public QueuedMidiIn {
  public:
    // A port subscribed to `device`; nullptr when that fails.
    static std::unique_ptr<AlsaInPort> Open(std::shared_ptr<PortWatch> watch,
                                            std::shared_ptr<PortNames> names,
                                            const std::string& clientBase, const SeqPort& device,
                                            InputCallback callback);
    // Velmora's own port: a client `name` with a port `name` that others
    // connect to.
    static std::unique_ptr<AlsaInPort> OpenOwn(std::shared_ptr<PortWatch> watch,
                                               const std::string& name, InputCallback callback);
    ~AlsaInPort() override;

    std::uint64_t LostEvents() const override;
    bool Gone() const override { return gone_ && gone_->load(std::memory_order_acquire); }
    // Overruns the sequencer reported.
    std::uint64_t Overruns() const { return overruns_.load(std::memory_order_relaxed); }

  protected:
    void StopProducer() override;

  private:
    AlsaInPort(InputCallback callback, std::shared_ptr<PortWatch> watch);
    bool Begin(std::unique_ptr<SeqClient> client, const std::string& portName,
               const SeqAddress* device);
    void ReadLoop();
    void Take(const snd_seq_event_t& ev);

    std::shared_ptr<PortWatch> watch_;
    std::unique_ptr<PortNames::Lease> lease_;
    std::shared_ptr<std::atomic<bool>> gone_; // null for the own port
    std::mutex closeMutex_;
    std::unique_ptr<SeqClient> client_; // used by the reading thread until it ends
    int wakeFd_ = -1;
    snd_midi_event_t* decoder_ = nullptr; // reading thread only
    SysexJoiner joiner_{kMaxJoinedSysex}; // reading thread only
    std::atomic<std::uint64_t> overruns_{0};
    std::atomic<std::uint64_t> joinLost_{0};
    std::thread reader_;
};

} // namespace velmora::midi::alsa
