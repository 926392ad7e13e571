// The hand-off to the Qt window thread: Raise, called on the MIDI delivery
// thread, makes the receiver handle the code on the window thread and
// returns when it has finished. While the window thread itself waits for the
// MIDI service (closing or resetting the input), it calls ServePending so a
// raised hand-off is never left waiting.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "midi/adaptive_spin.h"
#include "midi/hand_off.h"

namespace velmora::midi {

class UiSignal : public QObject, public HandOff {
  public:
    // Lives on the thread that creates it: the window thread.
    explicit UiSignal(UiSignalReceiver& receiver, QObject* parent = nullptr);
    ~UiSignal() override;

    void Raise(char code) override;

    // Window thread: handles a raised code now, if one waits.
    void ServePending();

    // How long the window thread serves a stream of codes before the event
    // loop gets its turn (painting, input); 5 ms unless set. Window thread.
    void SetSlice(std::chrono::microseconds slice);

    // From now on Raise calls the receiver itself, on the raising thread,
    // and returns when it has finished: for a front end without a window,
    // whose receiver takes its own lock against its other thread. A stream
    // then costs no thread switch at all. Set before the input opens.
    void HandleOnRaisingThread();

    // From now on Raise returns at once without handling (program end).
    void Shutdown();

    // Hand-offs raised and not handled because of Shutdown.
    std::uint64_t Abandoned() const;

  private:
    enum class State { Idle, Pending, Serving };

    UiSignalReceiver& receiver_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    char code_ = '0';
    bool shutdown_ = false;
    bool direct_ = false; // HandleOnRaisingThread
    // True while the window thread is in ServePending and will look for the
    // next code by itself: Raise then need not post an event.
    bool serverActive_ = false;
    std::atomic<std::uint64_t> raised_{0};
    std::atomic<std::uint64_t> served_{0};
    std::uint64_t abandoned_ = 0;
    std::chrono::microseconds slice_{5000};
    AdaptiveSpin raiseSpin_; // the raising thread's wait for the handler
    AdaptiveSpin serveSpin_; // the window thread's wait for the next code
};

} // namespace velmora::midi
