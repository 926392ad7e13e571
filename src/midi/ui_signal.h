// The hand-off to the Qt window thread. Raise, called on the MIDI delivery
// thread, leaves the message in a ring and wakes the window thread only when
// it is not already awake; the window thread then handles everything waiting,
// in order, in one wake-up. A stream thus costs one wake-up per batch, not
// two thread switches per message, and the delivery thread (which has passed
// each message on through thru before raising it) waits only when the ring
// is full. While a stream lasts, wake-ups come at most once a pace (a tenth
// of a second in the window): a sparse stream is shown, and painted, ten
// times a second, not once a message; a lone message is shown at once. The
// window thread's own timer brings each wake-up of a stream, so the
// delivery thread wakes it only for the stream's first message.
//
// Threads: Raise runs on one thread at a time (the delivery thread). It takes
// no lock and allocates nothing; it waits on a futex only while the ring is
// full. Everything else runs on the thread that made the object (the window
// thread). While the window thread itself waits for the MIDI service (closing
// or resetting the input) it calls ServePending, so a full ring never holds
// up the delivery thread it waits for.
#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "midi/hand_off.h"

class QSocketNotifier;
class QTimer;

namespace velmora::midi {

class UiSignal : public QObject, public HandOff {
  public:
    // Messages the ring holds; a burst beyond it waits for the window.
    // A pace of 96,000 messages a second fits.
    static constexpr std::size_t kSlots = 16384;
    // Sysex blocks the ring holds, and the most bytes one block carries.
    static constexpr std::size_t kSysexSlots = 16;
    static constexpr std::size_t kSysexBytes = kHandedSysexBytes;

    // Lives on the thread that creates it: the window thread.
    explicit UiSignal(UiSignalReceiver& receiver, QObject* parent = nullptr);
    ~UiSignal() override;

    void Raise(const Handed& handed) override;

    // Window thread: handles what waits now, for at most a slice.
    void ServePending();

    // How long the window thread serves a stream before the event loop gets
    // its turn (painting, input); 5 ms unless set. Window thread.
    void SetSlice(std::chrono::microseconds slice);
    // The least time from one wake-up's start to the next one's; the slice
    // unless set. Window thread.
    void SetPace(std::chrono::microseconds pace);

    // True from a paced serve that handled messages until a serve finds
    // none (the receiver then hears StreamEnded). Window thread.
    bool Streaming() const { return streaming_; }

    // From now on Raise calls the receiver itself, on the raising thread,
    // and returns when it has finished: for a front end without a window,
    // whose receiver takes its own lock against its other thread. A stream
    // then costs no thread switch at all. Set before the input opens.
    void HandleOnRaisingThread();

    // From now on Raise returns at once without handling (program end), and
    // what still waits is not handled.
    void Shutdown();

    // Messages raised and not handled because of Shutdown.
    std::uint64_t Abandoned() const;
    // Messages raised and not yet handled.
    std::size_t Queued() const { return static_cast<std::size_t>(written_.load() - read_.load()); }
    // The wake-ups that handled something: a measure of batching.
    std::uint64_t Wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

  private:
    struct Slot {
        HandedKind kind;
        std::uint8_t source; // fits beside the kind: a slot stays 16 bytes
        std::uint16_t sysexSize;
        ShortMessage message;
        std::uint64_t micros;
    };

    bool Full(std::uint64_t written, std::uint64_t sysexWritten, bool withBytes) const;
    void WaitForRoom(std::uint64_t written, std::uint64_t sysexWritten, bool withBytes);
    void Wake();
    void OnWoken();
    void PostServe();

    UiSignalReceiver& receiver_;

    // The ring: the raising thread writes slots and counts them in written_;
    // the window thread handles them and counts them in read_.
    std::unique_ptr<std::array<Slot, kSlots>> slots_;
    std::unique_ptr<std::array<std::array<std::uint8_t, kSysexBytes>, kSysexSlots>> sysex_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> read_{0};
    std::atomic<std::uint64_t> sysexWritten_{0};
    std::atomic<std::uint64_t> sysexRead_{0};

    // True from the raise that woke the window thread until that thread has
    // found the ring empty: later raises need not wake it again.
    std::atomic<bool> scheduled_{false};
    // A full ring: the raising thread sleeps on `freed_` and says so here.
    std::atomic<std::uint32_t> freed_{0};
    std::atomic<bool> raiserWaiting_{false};

    std::atomic<bool> shutdown_{false};
    std::atomic<bool> direct_{false}; // HandleOnRaisingThread
    std::atomic<std::uint64_t> abandoned_{0};
    std::atomic<std::uint64_t> wakeups_{0};

    // Window thread only.
    std::thread::id windowThread_;
    bool streaming_ = false;
    bool serving_ = false; // in a handler: a nested call (a modal box) leaves it to the outer one
    std::chrono::microseconds slice_{5000};
    std::optional<std::chrono::microseconds> pace_;
    std::chrono::steady_clock::time_point nextServe_; // the earliest a wake-up serves
    QTimer* pacer_ = nullptr;                         // serves at nextServe_

    // Linux: an eventfd the raising thread writes to, watched by the window
    // thread's event loop (a system call: no lock, no allocation of ours).
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velmora::midi
