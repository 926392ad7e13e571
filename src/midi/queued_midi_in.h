// The input side shared by every MIDI service: incoming messages wait in an
// EventRing, and a delivery thread owned by the port hands them to the
// callback one at a time. Sysex is cut into the queued input buffers in
// order, each delivered with its recorded-byte count.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/event_ring.h"
#include "midi/midi_service.h"

namespace velmora::midi {

class QueuedMidiIn : public MidiInPort {
  public:
    // About 1.1 million short messages (15 bytes each with their length and
    // time): a
    // burst of a million at 96,000 a second fits even when the window takes
    // them at half that speed on a busy machine. Its pages are touched only
    // as messages pass through them.
    static constexpr std::size_t kDefaultQueueBytes = std::size_t{16} << 20;

    explicit QueuedMidiIn(InputCallback callback, std::size_t queueBytes = kDefaultQueueBytes);
    ~QueuedMidiIn() override;

    bool PrepareHeader(MidiHeader& header) override;
    bool UnprepareHeader(MidiHeader& header) override;
    bool AddBuffer(MidiHeader& header) override;
    bool Start() override;
    bool Reset(const WaitHook& whileWaiting) override;
    bool Close(const WaitHook& whileWaiting) override;
    std::uint64_t LostEvents() const override;
    std::uint64_t MalformedEvents() const override {
        return lostMalformed_.load(std::memory_order_relaxed);
    }

    // Producer side (one thread at a time): a whole MIDI message, 1 to 3 bytes
    // for a short message or a sysex message from F0, or the rest of a sysex
    // message in pieces that start with a data byte or F7. Never blocks. Ignored
    // until Start and after Reset; false when it had to be dropped. `micros`:
    // when the service received it (InputEvent::micros), now by default.
    bool Enqueue(std::span<const std::uint8_t> message, std::uint64_t micros = InputClockMicros());
    // The same for a short message that the service's own cycle already
    // passed through to the main output on `thruChannel` (ThruMessage's
    // index, -1 to 16): delivered with InputEvent::passedThru set.
    bool EnqueuePassedThru(std::span<const std::uint8_t> message, std::uint64_t micros,
                           int thruChannel);

    // Producer side: while a batch lives, what is enqueued wakes the
    // delivery thread once, when the batch ends (and every kWakeBatch
    // messages), not once a message. A JACK cycle or an ALSA read that
    // brings hundreds of messages to a sleeping delivery thread then makes
    // one system call; woken once a message, the delivery thread ran on the
    // producer's core between two of them, and the cycle could end late.
    class WakeBatch {
      public:
        explicit WakeBatch(QueuedMidiIn& in) : in_(in) { in_.batchOpen_ = true; }
        ~WakeBatch();
        WakeBatch(const WakeBatch&) = delete;
        WakeBatch& operator=(const WakeBatch&) = delete;

      private:
        QueuedMidiIn& in_;
    };
    static constexpr int kWakeBatch = 256;

    // Producer side: `runs` pieces of input that were no MIDI message (see
    // SplitMidiBytes) count as lost. Never blocks.
    void NoteDropped(std::size_t runs) {
        lostMalformed_.fetch_add(runs, std::memory_order_relaxed);
    }

    // True when nothing waits to be delivered and the callback is not running.
    bool Idle() const;
    // Bytes of messages waiting to be delivered. Either side, never blocks.
    std::size_t WaitingBytes() const { return ring_.UsedBytes(); }

  protected:
    // Called by Close before the delivery thread stops: a subclass stops its
    // producer here so nothing is enqueued any more.
    virtual void StopProducer() {}
    // Stops the delivery thread; a subclass destructor that must outlive it
    // calls this first.
    void StopDelivery(const WaitHook& whileWaiting);

  private:
    void DeliveryLoop();
    void Deliver(const std::vector<std::uint8_t>& message, std::uint64_t stamp);
    void DeliverSysex(const std::vector<std::uint8_t>& message, std::uint64_t micros);
    void ReturnQueuedBuffersEmpty();
    MidiHeader* TakeQueuedBuffer();
    void Wake();
    void WakeOrHold(); // producer side: Wake, or leave it to the batch
    // Waits, serving `whileWaiting`, until `done` holds.
    template <typename Pred> void WaitServing(const WaitHook& whileWaiting, Pred done);

    InputCallback callback_;
    EventRing ring_;

    std::mutex buffersMutex_;
    std::deque<MidiHeader*> queuedBuffers_;

    std::atomic<bool> started_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> exit_{false};
    std::atomic<bool> resetRequested_{false};
    std::atomic<bool> busy_{false};
    std::atomic<std::uint32_t> wake_{0};
    std::atomic<bool> sleeping_{false}; // the delivery thread waits, or is about to
    bool sysexOpen_ = false;            // delivery thread: the last sysex piece had no F7
    bool batchOpen_ = false;            // producer side: a WakeBatch lives
    int batchHeld_ = 0;                 // producer side: messages whose wake it holds
    std::atomic<std::uint64_t> lostNoBuffer_{0};
    std::atomic<std::uint64_t> lostMalformed_{0};

    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    std::uint64_t resetsDone_ = 0; // guarded by doneMutex_
    bool exited_ = false;          // guarded by doneMutex_

    std::thread thread_;
};

} // namespace velmora::midi
