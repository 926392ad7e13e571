// The input queue shared by every MIDI service, used directly: its ring of
// bytes, the order of delivery and the rules of its buffers.
#include "midi/queued_midi_in.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "midi/event_ring.h"
#include "support/eventually.h"
#include "support/sysex_dump.h"

using namespace velmora::midi;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;
using velmora::testing::Eventually;

// A sysex message of `size` bytes, or a short message of 1 to 3 bytes,
// depending on `i`; the content depends on `i` too.
Bytes Message(int i) {
    if (i % 3 == 0) {
        return velmora::testing::SysexDump(static_cast<std::size_t>(2 + (i * 37) % 199),
                                           static_cast<std::uint8_t>(i & 0x7F));
    }
    const auto n = static_cast<std::uint8_t>(i & 0x7F);
    switch (i % 4) {
    case 0:
        return {0xF8};
    case 1:
        return {0xC2, n};
    default:
        return {0x91, n, static_cast<std::uint8_t>(127 - n)};
    }
}

// Input buffers with their bytes.
struct Buffers {
    Buffers(int count, std::uint32_t size)
        : data(static_cast<std::size_t>(count), Bytes(size)),
          headers(static_cast<std::size_t>(count)) {
        for (std::size_t i = 0; i < headers.size(); ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = size;
        }
    }
    std::vector<Bytes> data;
    std::vector<MidiHeader> headers;
};

// Rebuilds whole messages from what the callback gets, handing every filled
// buffer straight back.
class Reassembler {
  public:
    InputCallback Callback() {
        return [this](const InputEvent& e) {
            std::lock_guard lock(mutex_);
            if (e.code == InputMessage::Data) {
                Bytes m{static_cast<std::uint8_t>(e.message),
                        static_cast<std::uint8_t>(e.message >> 8),
                        static_cast<std::uint8_t>(e.message >> 16)};
                m.resize(static_cast<std::size_t>(LengthOf(m[0])));
                messages_.push_back(std::move(m));
                return;
            }
            const MidiHeader& h = *e.header;
            partial_.insert(partial_.end(), h.lpData, h.lpData + h.dwBytesRecorded);
            if (!partial_.empty() && partial_.back() == 0xF7) {
                messages_.push_back(std::move(partial_));
                partial_.clear();
            }
            if (h.dwBytesRecorded > 0) {
                EXPECT_TRUE(port_->AddBuffer(*e.header));
            }
        };
    }
    std::vector<Bytes> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    QueuedMidiIn* port_ = nullptr; // set before Start

  private:
    static int LengthOf(std::uint8_t status) {
        if (status == 0xF8) {
            return 1;
        }
        return (status & 0xF0) == 0xC0 ? 2 : 3;
    }
    mutable std::mutex mutex_;
    std::vector<Bytes> messages_;
    Bytes partial_;
};

} // namespace

TEST(EventRing, WrapsAroundWithMixedSizesAndCountsWhatDoesNotFit) {
    Bytes out;
    for (const bool stamped : {false, true}) {
        // A stamped ring gives each message back with its time.
        EventRing ring(256, stamped);
        std::vector<std::pair<Bytes, std::uint64_t>> pending;
        std::uint64_t stamp = 0;
        const auto popped = [&] { return std::pair(out, stamped ? stamp : std::uint64_t{0}); };
        int next = 0;
        for (int round = 0; round < 3000; ++round) {
            // Up to three pushes, then one pop: the ring is often nearly
            // full, and records (and their prefixes) wrap at every offset.
            for (int k = 0; k < 1 + round % 3; ++k) {
                const Bytes m = Message(next);
                const std::uint64_t time = 0x1234'5678'9ABC'0000u + static_cast<unsigned>(next);
                if (ring.Push(m, time)) {
                    pending.emplace_back(m, stamped ? time : 0);
                    ++next;
                }
            }
            ASSERT_TRUE(ring.Pop(out, &stamp));
            ASSERT_EQ(popped(), pending.front()) << "round " << round;
            pending.erase(pending.begin());
        }
        while (ring.Pop(out, &stamp)) {
            ASSERT_EQ(popped(), pending.front());
            pending.erase(pending.begin());
        }
        EXPECT_TRUE(pending.empty());
        EXPECT_TRUE(ring.Empty());
        EXPECT_GT(ring.Dropped(), 0u);
    }

    // Exactly full: a 60-byte message and its 4-byte length fill 64 bytes.
    EventRing small(64);
    EXPECT_TRUE(small.Push(Bytes(60, 1)));
    EXPECT_FALSE(small.Push(Bytes(1, 2)));
    EXPECT_EQ(small.Dropped(), 1u);
    ASSERT_TRUE(small.Pop(out));
    EXPECT_EQ(out.size(), 60u);
    EXPECT_FALSE(small.Push(Bytes(61, 3))); // larger than the ring
    EXPECT_TRUE(small.Push(Bytes(60, 4)));
    small.Clear();
    EXPECT_TRUE(small.Empty());
    EXPECT_FALSE(small.Pop(out));
}

TEST(QueuedMidiIn, ManyMixedMessagesThroughASmallQueueArriveWholeAndInOrder) {
    Reassembler r;
    QueuedMidiIn port(r.Callback(), 256);
    r.port_ = &port;
    Buffers buffers(4, 64);
    for (MidiHeader& h : buffers.headers) {
        ASSERT_TRUE(port.PrepareHeader(h));
        ASSERT_TRUE(port.AddBuffer(h));
    }
    ASSERT_TRUE(port.Start());
    std::vector<Bytes> sent;
    for (int i = 0; i < 3000; ++i) {
        const Bytes m = Message(i);
        while (!port.Enqueue(m)) { // full: let the delivery thread catch up
            ASSERT_TRUE(Eventually([&] { return port.Idle(); }));
        }
        sent.push_back(m);
    }
    ASSERT_TRUE(Eventually([&] { return port.Idle(); }));
    EXPECT_EQ(r.Messages(), sent);
    ASSERT_TRUE(port.Reset({}));
    EXPECT_TRUE(port.Close({}));
}

// A batch holds the delivery thread's wake-ups: a long one still wakes it
// every kWakeBatch messages, and its end wakes it for the rest.
TEST(QueuedMidiIn, ABatchWakesTheDeliveryThreadForWhatItBringsTogether) {
    std::atomic<int> calls{0};
    QueuedMidiIn port([&](const InputEvent&) { ++calls; });
    ASSERT_TRUE(port.Start());
    {
        const QueuedMidiIn::WakeBatch batch(port);
        for (int i = 0; i < QueuedMidiIn::kWakeBatch + 2; ++i) {
            ASSERT_TRUE(port.Enqueue(Bytes{0xF8}));
        }
        ASSERT_TRUE(Eventually([&] { return calls.load() >= QueuedMidiIn::kWakeBatch; }));
    }
    ASSERT_TRUE(Eventually([&] { return calls.load() == QueuedMidiIn::kWakeBatch + 2; }));
    EXPECT_TRUE(port.Close({}));
}

TEST(QueuedMidiIn, EnqueueIgnoredBeforeStartAndAfterReset) {
    std::atomic<int> calls{0};
    QueuedMidiIn port([&](const InputEvent&) { ++calls; });
    const Bytes clock{0xF8};
    EXPECT_FALSE(port.Enqueue(clock));
    ASSERT_TRUE(port.Start());
    EXPECT_FALSE(port.Enqueue(Bytes{})); // nothing to send
    ASSERT_TRUE(port.Enqueue(clock));
    ASSERT_TRUE(Eventually([&] { return port.Idle(); }));
    EXPECT_EQ(calls, 1); // the message sent before Start never arrives
    ASSERT_TRUE(port.Reset({}));
    EXPECT_FALSE(port.Enqueue(clock));
    EXPECT_TRUE(port.Idle());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(port.LostEvents(), 0u); // ignored, not lost
    EXPECT_TRUE(port.Close({}));
}

TEST(QueuedMidiIn, CloseTwiceAndEverythingAfterCloseFails) {
    QueuedMidiIn port([](const InputEvent&) {});
    Buffers buffers(1, 16);
    MidiHeader& h = buffers.headers[0];
    ASSERT_TRUE(port.PrepareHeader(h));
    ASSERT_TRUE(port.Start());
    ASSERT_TRUE(port.Close({}));
    EXPECT_FALSE(port.Close({}));
    EXPECT_FALSE(port.Reset({}));
    EXPECT_FALSE(port.Start());
    EXPECT_FALSE(port.AddBuffer(h));
    EXPECT_FALSE(port.UnprepareHeader(h));
    EXPECT_FALSE(port.PrepareHeader(h));
    EXPECT_FALSE(port.Enqueue(Bytes{0xF8}));
}

TEST(QueuedMidiIn, BufferRulesAndSysexLongerThanTheQueuedBuffers) {
    std::mutex mutex;
    std::vector<std::uint32_t> recorded;
    QueuedMidiIn port([&](const InputEvent& e) {
        std::lock_guard lock(mutex);
        recorded.push_back(e.code == InputMessage::LongData ? e.header->dwBytesRecorded : 999);
    });
    Buffers buffers(2, 64);
    MidiHeader empty;
    EXPECT_FALSE(port.PrepareHeader(empty));          // no bytes
    EXPECT_FALSE(port.AddBuffer(buffers.headers[0])); // not prepared
    for (MidiHeader& h : buffers.headers) {
        ASSERT_TRUE(port.PrepareHeader(h));
        ASSERT_TRUE(port.AddBuffer(h));
    }
    EXPECT_FALSE(port.AddBuffer(buffers.headers[0])); // queued already
    EXPECT_FALSE(port.UnprepareHeader(buffers.headers[0]));
    ASSERT_TRUE(port.Start());

    // 200 bytes into two 64-byte buffers: both filled, the rest lost.
    const Bytes sysex = velmora::testing::SysexDump(200, 0x11, 0);
    ASSERT_TRUE(port.Enqueue(sysex));
    // Not a MIDI message: more than 3 bytes without F0.
    ASSERT_TRUE(port.Enqueue(Bytes{0x90, 1, 2, 3}));
    ASSERT_TRUE(Eventually([&] { return port.Idle(); }));
    EXPECT_EQ(port.LostEvents(), 2u);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(recorded, (std::vector<std::uint32_t>{64, 64}));
    }
    EXPECT_TRUE(port.UnprepareHeader(buffers.headers[0]));
    EXPECT_TRUE(port.Close({}));
}

// The window thread may ask to unprepare a buffer while input runs: refused
// while the buffer is queued, accepted once the delivery thread took it, and
// never a data race with the delivery thread.
TEST(QueuedMidiIn, UnprepareWhileInputRunsWaitsForTheBufferToBeTaken) {
    std::atomic<int> blocks{0};
    QueuedMidiIn port([&](const InputEvent& e) {
        if (e.code == InputMessage::LongData) {
            ++blocks;
        }
    });
    Buffers buffers(1, 64);
    MidiHeader& h = buffers.headers[0];
    ASSERT_TRUE(port.PrepareHeader(h));
    ASSERT_TRUE(port.AddBuffer(h));
    ASSERT_TRUE(port.Start());
    std::atomic<int> refusals{0};
    std::thread unprepare([&] {
        while (!port.UnprepareHeader(h)) {
            ++refusals;
        }
    });
    while (refusals == 0) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(port.Enqueue(Bytes{0xF0, 0x7D, 0xF7}));
    unprepare.join();
    EXPECT_FALSE(h.prepared);
    ASSERT_TRUE(Eventually([&] { return port.Idle(); }));
    EXPECT_EQ(blocks, 1);
    EXPECT_TRUE(port.Close({}));
}

TEST(QueuedMidiIn, DestroyedWithoutCloseWhileMessagesWait) {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    Buffers buffers(2, 64);
    {
        QueuedMidiIn port([&](const InputEvent&) {
            entered = true;
            while (!release) {
                std::this_thread::yield();
            }
        });
        for (MidiHeader& h : buffers.headers) {
            ASSERT_TRUE(port.PrepareHeader(h));
            ASSERT_TRUE(port.AddBuffer(h));
        }
        ASSERT_TRUE(port.Start());
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(port.Enqueue(Bytes{0xF8}));
        }
        ASSERT_TRUE(Eventually([&] { return entered.load(); }));
        release = true;
    } // the destructor stops delivery without waiting for the rest
    SUCCEED();
}
