// A client of the ALSA sequencer (alsa-lib's snd_seq_t) and what Velmora asks
// the sequencer about ports. One thread at a time uses a client's handle for
// events; the queries only make system calls and may run beside them.
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::midi::alsa {

// Sizes that let the largest event the sequencer can carry pass: an input
// pool of the kernel's maximum (2000 cells of 28 bytes: events up to about
// 55 KB), and read and write buffers that hold one such event whole.
inline constexpr int kInputPoolCells = 2000;
inline constexpr std::size_t kEventBufferBytes = 64 * 1024;
// The sysex pieces Velmora sends: small enough for a receiver's default pool
// (200 cells) many times over, large enough to keep the system calls few.
inline constexpr std::size_t kSysexPieceBytes = 256;

struct SeqAddress {
    int client = -1;
    int port = -1;
    bool operator==(const SeqAddress&) const = default;
};

struct SeqPort {
    SeqAddress address;
    std::string clientName;
    std::string portName;
    unsigned capability = 0;
    unsigned type = 0;
    bool kernelClient = false; // a driver's client (a device, Midi Through)

    // The name Velmora lists it under: "Midi Through:Midi Through Port-0 14:0".
    std::string ListedName() const;
    bool Readable() const;      // a source Velmora can read from
    bool Writable() const;      // a destination Velmora can send to
    bool PassesThrough() const; // ALSA's loopback, "Midi Through"
    bool RawMidi() const;       // a driver's port backed by a raw MIDI device
};

class SeqClient {
  public:
    // Opens a non-blocking duplex client called `name` with pools and buffers
    // sized as above. nullptr, with the reason in *why, when it can't.
    static std::unique_ptr<SeqClient> Open(const std::string& name, std::string* why);
    ~SeqClient();
    SeqClient(const SeqClient&) = delete;
    SeqClient& operator=(const SeqClient&) = delete;

    snd_seq_t* Handle() const { return seq_; }
    int Id() const { return id_; }

    // Every port of every client now, in client then port order.
    std::vector<SeqPort> Ports() const;
    std::optional<SeqPort> Port(SeqAddress address) const;
    // The ports that receive what `port` emits (its read subscriptions).
    std::vector<SeqAddress> Subscribers(SeqAddress port) const;
    // Free cells in a program's input pool; nullopt for a driver's client or
    // one that left.
    std::optional<int> InputPoolFree(int client) const;

  private:
    explicit SeqClient(snd_seq_t* seq);
    snd_seq_t* seq_;
    int id_;
};

// Cells a sysex event of `bytes` bytes takes in a receiver's pool.
constexpr int CellsFor(std::size_t bytes) {
    return 1 + static_cast<int>((bytes + 27) / 28);
}

} // namespace velmora::midi::alsa
