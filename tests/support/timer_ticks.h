// Counts the timeouts of a window's own timer, so that a test waits for its
// next tick instead of for a while: what the tick does depends on the
// injected clock, never on how long the test waited.
#pragma once

#include <QObject>
#include <QTest>
#include <QTimer>

namespace velmora::testing {

class TimerTicks {
  public:
    // Counts from now on. Connected after the window's own handler, so a
    // counted tick has run it.
    explicit TimerTicks(QTimer* timer)
        : connection_(QObject::connect(timer, &QTimer::timeout, [this] { ++count_; })) {}
    ~TimerTicks() { QObject::disconnect(connection_); }
    TimerTicks(const TimerTicks&) = delete;
    TimerTicks& operator=(const TimerTicks&) = delete;

    // Runs the event loop until the timer has ticked `n` more times; false
    // when it did not within 20 s (a stopped timer).
    bool Wait(int n = 1) {
        const int target = count_ + n;
        return QTest::qWaitFor([&] { return count_ >= target; }, 20000);
    }

  private:
    int count_ = 0;
    QMetaObject::Connection connection_;
};

} // namespace velmora::testing
