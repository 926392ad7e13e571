// An output to one port of the ALSA sequencer, through a client of its own
// subscribed to the device. Sysex leaves in pieces of kSysexPieceBytes as the
// blocks come, each piece only when the receivers have room for it: a
// program's input pool is asked how much it has free; a raw MIDI port, which
// drops what overflows its buffer and can't be asked, is fed at the rate its
// far side empties it. Every write's result is checked, and a send succeeds
// only when all its bytes went out.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "midi/alsa/port_watch.h"
#include "midi/alsa/send_pace.h"
#include "midi/midi_service.h"
#include "midi/port_names.h"

namespace velmora::midi::alsa {

// Raw MIDI rates: a device's cable carries 31,250 baud, 10 bits a byte; a
// software raw MIDI port (snd-virmidi) is read by a program, given this much.
inline constexpr std::size_t kCableBytesPerSecond = 3125;
inline constexpr std::size_t kSoftwareRawBytesPerSecond = 32 * 1024;
// What may run ahead into a raw MIDI buffer (4,096 bytes by default).
inline constexpr std::size_t kRawHeadStart = 2048;
// A receiver that takes nothing for this long fails a sysex send; a short
// message (thru, on the input's delivery thread) waits much less.
inline constexpr auto kStallLimit = std::chrono::seconds(5);
inline constexpr auto kShortStallLimit = std::chrono::milliseconds(200);

class AlsaOutPort final : public MidiOutPort {
  public:
    // nullptr when the device can't be connected to.
    static std::unique_ptr<AlsaOutPort> Open(std::shared_ptr<PortWatch> watch,
                                             std::shared_ptr<PortNames> names,
                                             const std::string& clientBase, const SeqPort& device);
    ~AlsaOutPort() override;

    bool SendShort(ShortMessage message) override;
    bool SendLong(std::span<const std::uint8_t> bytes) override;
    bool Reset() override;
    bool Gone() const override { return gone_->load(std::memory_order_acquire); }
    bool Close() override;

  private:
    // Where what the port sends ends up, as far as pacing goes.
    struct Receivers {
        std::vector<int> programs; // clients with an input pool to ask
        bool cable = false;        // a hardware raw MIDI port
        bool softwareRaw = false;  // a software raw MIDI port
    };

    AlsaOutPort(std::shared_ptr<PortWatch> watch, std::unique_ptr<PortNames::Lease> lease,
                std::unique_ptr<SeqClient> client, int port,
                std::shared_ptr<std::atomic<bool>> gone);
    Receivers FindReceivers() const;
    // For short messages: FindReceivers again only after connections changed.
    const Receivers& KnownReceivers();
    bool WaitForRoom(std::size_t n, const Receivers& receivers,
                     std::chrono::steady_clock::time_point deadline);
    // Writes one event, retrying while a receiver is full. Locked.
    bool Write(snd_seq_event_t& ev, std::size_t bytes, const Receivers& receivers,
               std::chrono::steady_clock::duration limit);
    bool SendShortLocked(std::span<const std::uint8_t> bytes);

    std::shared_ptr<PortWatch> watch_;
    std::unique_ptr<PortNames::Lease> lease_;
    mutable std::mutex mutex_;
    std::unique_ptr<SeqClient> client_; // guarded by mutex_; null once closed
    int port_;
    std::shared_ptr<std::atomic<bool>> gone_;
    std::atomic<bool> closing_{false};          // a send waiting for room gives up
    snd_midi_event_t* shortEncoder_ = nullptr;  // guarded by mutex_
    snd_midi_event_t* streamEncoder_ = nullptr; // guarded: short messages inside SendLong
    bool inSysex_ = false;                      // guarded by mutex_
    Receivers known_;                           // guarded by mutex_
    std::optional<std::uint64_t> knownAt_;      // guarded: watch_->Connections() then
    SendPace cablePace_{kCableBytesPerSecond, kRawHeadStart};
    SendPace softwarePace_{kSoftwareRawBytesPerSecond, kRawHeadStart};
};

} // namespace velmora::midi::alsa
