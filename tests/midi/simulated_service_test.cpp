// The simulated MIDI service: devices, failure injection, recorded outputs,
// injected input through the real input queue, and the demo keyboard.
#include "midi/simulated/simulated_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "midi/simulated/demo_performance.h"
#include "support/eventually.h"
#include "support/sysex_dump.h"

using namespace velmora::midi;
using namespace std::chrono_literals;
using velmora::PackShortMessage;
using velmora::ShortMessage;

namespace {

using Bytes = std::vector<std::uint8_t>;
using velmora::testing::Eventually;
using velmora::testing::UnevenSysexDump;

// What a callback received, safe to read from the test thread. A LongData
// block may be handed back to the port, as the program does.
class Receiver {
  public:
    InputCallback Callback() {
        return [this](const InputEvent& e) {
            std::lock_guard lock(mutex_);
            if (e.code == InputMessage::Data) {
                shorts_.push_back(e.message);
                return;
            }
            blocks_.emplace_back(e.header->lpData, e.header->lpData + e.header->dwBytesRecorded);
            headers_.push_back(e.header);
            if (handBack_ && e.header->dwBytesRecorded > 0) {
                EXPECT_TRUE(port_.load()->AddBuffer(*e.header));
            }
        };
    }
    void HandBackTo(MidiInPort* port) {
        port_ = port;
        handBack_ = true;
    }
    std::vector<ShortMessage> Shorts() const {
        std::lock_guard lock(mutex_);
        return shorts_;
    }
    std::vector<Bytes> Blocks() const {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    std::vector<MidiHeader*> Headers() const {
        std::lock_guard lock(mutex_);
        return headers_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<ShortMessage> shorts_;
    std::vector<Bytes> blocks_;
    std::vector<MidiHeader*> headers_;
    std::atomic<MidiInPort*> port_{nullptr};
    std::atomic<bool> handBack_{false};
};

// Input buffers with their bytes.
struct Buffers {
    explicit Buffers(int count, std::uint32_t size = 4096)
        : data(static_cast<std::size_t>(count), Bytes(size)),
          headers(static_cast<std::size_t>(count)) {
        for (std::size_t i = 0; i < headers.size(); ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = size;
        }
    }
    void PrepareAndAdd(MidiInPort& port) {
        for (MidiHeader& h : headers) {
            ASSERT_TRUE(port.PrepareHeader(h));
            ASSERT_TRUE(port.AddBuffer(h));
        }
    }
    std::vector<Bytes> data;
    std::vector<MidiHeader> headers;
};

// Threads of this process. The first thread a program starts may bring a
// sanitizer's own thread along, so one is started first.
int ThreadCount() {
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Threads:")) {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

using Names = std::vector<std::string>;

} // namespace

// --- Devices and opens ---

TEST(SimulatedDevices, NamesAndCapabilityFailures) {
    SimulatedService s({"Synth \xC3\xA9", "Out B"}, {"Keys"});
    EXPECT_EQ(s.Name(), "simulated");
    EXPECT_EQ(s.OutDeviceCount(), 2);
    EXPECT_EQ(s.InDeviceCount(), 1);
    EXPECT_EQ(s.OutDeviceName(0), "Synth \xC3\xA9");
    EXPECT_EQ(s.InDeviceName(0), "Keys");
    EXPECT_EQ(s.OutDeviceName(2), std::nullopt);
    EXPECT_EQ(s.InDeviceName(-1), std::nullopt);

    s.FailEvery(SimOp::OutCaps, 1);
    EXPECT_EQ(s.OutDeviceName(0), "Synth \xC3\xA9");
    EXPECT_EQ(s.OutDeviceName(1), std::nullopt);
    EXPECT_EQ(s.OutDeviceName(1), std::nullopt);
    s.ClearFailures(SimOp::OutCaps);
    EXPECT_EQ(s.OutDeviceName(1), "Out B");

    // The second matching call from now fails, once.
    s.FailNth(SimOp::InCaps, 2);
    EXPECT_EQ(s.InDeviceName(0), "Keys");
    EXPECT_EQ(s.InDeviceName(0), std::nullopt);
    EXPECT_EQ(s.InDeviceName(0), "Keys");
    EXPECT_EQ(s.Calls(SimOp::InCaps), 5u);
    EXPECT_EQ(s.Calls(SimOp::OutCaps), 6u);
}

TEST(SimulatedDevices, OpensCountedAndRefusedWhileHeldElsewhere) {
    SimulatedService s({"A", "B"}, {"In"});
    auto a1 = s.OpenOut(0);
    auto a2 = s.OpenOut(0); // a second port on the same device is allowed
    ASSERT_TRUE(a1 && a2);
    EXPECT_NE(SimulatedService::PortId(*a1), SimulatedService::PortId(*a2));
    EXPECT_EQ(s.OutOpens(0), 2);
    EXPECT_EQ(s.OutOpenNow(0), 2);
    EXPECT_TRUE(a1->Close());
    EXPECT_EQ(s.OutOpenNow(0), 1);
    a1.reset(); // destroying a closed port counts nothing more
    a2.reset(); // destroying an open one closes it
    EXPECT_EQ(s.OutOpenNow(0), 0);
    EXPECT_EQ(s.OutOpens(0), 2);

    s.FailEvery(SimOp::OpenOut, 1);
    EXPECT_EQ(s.OpenOut(1), nullptr);
    EXPECT_NE(s.OpenOut(0), nullptr);
    EXPECT_EQ(s.OutOpens(1), 0);
    EXPECT_EQ(s.OpenOut(2), nullptr);

    s.FailNth(SimOp::OpenIn);
    EXPECT_EQ(s.OpenIn(0, [](const InputEvent&) {}), nullptr);
    auto in = s.OpenIn(0, [](const InputEvent&) {});
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(s.InOpens(0), 1);
    EXPECT_EQ(s.InOpenNow(0), 1);
    EXPECT_TRUE(in->Close({}));
    EXPECT_EQ(s.InOpenNow(0), 0);
    EXPECT_EQ(s.OpenIn(1, [](const InputEvent&) {}), nullptr);
}

// --- Outputs ---

TEST(SimulatedOutputs, RecordEverySendInOrderWithItsPort) {
    SimulatedService s({"A", "B"}, {});
    auto p1 = s.OpenOut(0);
    auto p2 = s.OpenOut(0);
    auto other = s.OpenOut(1);
    const Bytes dump{0xF0, 0x7D, 0x01, 0xF7};
    EXPECT_TRUE(p1->SendShort(0x403C90));
    EXPECT_TRUE(p2->SendLong(dump));
    EXPECT_TRUE(other->SendShort(0xF8));
    EXPECT_TRUE(p1->SendShort(0x003C80));

    const auto sent = s.Sent(0);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].port, SimulatedService::PortId(*p1));
    EXPECT_FALSE(sent[0].isLong);
    EXPECT_EQ(sent[0].message, 0x403C90u);
    EXPECT_EQ(sent[1].port, SimulatedService::PortId(*p2));
    EXPECT_TRUE(sent[1].isLong);
    EXPECT_EQ(sent[1].bytes, dump);
    EXPECT_EQ(sent[2].message, 0x003C80u);
    EXPECT_EQ(s.SentCount(1), 1u);

    // A closed port refuses everything, closing twice included.
    EXPECT_TRUE(p1->Close());
    EXPECT_FALSE(p1->SendShort(0xF8));
    EXPECT_FALSE(p1->SendLong(dump));
    EXPECT_FALSE(p1->Reset());
    EXPECT_FALSE(p1->Close());
    EXPECT_EQ(s.SentCount(0), 3u);
    s.ClearSent(0);
    EXPECT_TRUE(s.Sent(0).empty());
    EXPECT_EQ(s.SentCount(1), 1u);
}

TEST(SimulatedOutputs, InjectedFailuresOfSendResetAndClose) {
    SimulatedService s({"A", "B"}, {});
    auto a = s.OpenOut(0);
    auto b = s.OpenOut(1);

    s.FailNth(SimOp::OutReset);
    EXPECT_FALSE(a->Reset());
    EXPECT_TRUE(a->Reset());

    // A failed close leaves the port open and working.
    s.FailNth(SimOp::OutClose, 1, 0);
    EXPECT_TRUE(b->Close()); // another device: not matched
    EXPECT_FALSE(a->Close());
    EXPECT_EQ(s.OutOpenNow(0), 1);
    EXPECT_TRUE(a->SendShort(0xF8));

    s.FailEvery(SimOp::OutSendShort);
    s.FailNth(SimOp::OutSendLong, 3);
    EXPECT_FALSE(a->SendShort(0xFE));
    EXPECT_TRUE(a->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_TRUE(a->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_FALSE(a->SendLong(Bytes{0xF0, 0xF7}));
    EXPECT_TRUE(a->SendLong(Bytes{0xF0, 0xF7}));
    s.ClearFailures();
    EXPECT_TRUE(a->SendShort(0xFE));
    EXPECT_EQ(s.SentCount(0), 5u); // only what was accepted
    EXPECT_EQ(s.Calls(SimOp::OutSendShort), 3u);
    EXPECT_TRUE(a->Close());
}

TEST(SimulatedOutputs, SendsFromSeveralThreadsAllRecordedInEachThreadsOrder) {
    SimulatedService s({"A"}, {});
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::unique_ptr<MidiOutPort>> ports;
    for (int t = 0; t < kThreads; ++t) {
        ports.push_back(s.OpenOut(0));
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                ports[static_cast<std::size_t>(t)]->SendShort(static_cast<ShortMessage>(i));
            }
        });
    }
    EXPECT_TRUE(s.WaitSent(0, kThreads * kEach, 10s));
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_FALSE(s.WaitSent(0, kThreads * kEach + 1, 1ms));
    std::map<std::uint64_t, ShortMessage> next;
    for (const SentMessage& m : s.Sent(0)) {
        EXPECT_EQ(m.message, next[m.port]++);
    }
    EXPECT_EQ(next.size(), static_cast<std::size_t>(kThreads));
}

TEST(SimulatedOutputs, RecordLimitKeepsTheLastAndCountsTheRest) {
    SimulatedService s({"A"}, {});
    auto p = s.OpenOut(0);
    for (ShortMessage m = 1; m <= 5; ++m) {
        p->SendShort(m);
    }
    s.SetRecordLimit(3);
    p->SendShort(6);
    const auto sent = s.Sent(0);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent.front().message, 4u);
    EXPECT_EQ(sent.back().message, 6u);
    EXPECT_EQ(s.SentCount(0), 6u);
    EXPECT_EQ(s.DroppedRecords(0), 3u);
}

// --- Inputs, through the real input queue ---

TEST(SimulatedInputs, ShortMessagesDeliveredInOrderOnlyWhileStarted) {
    SimulatedService s({}, {"Keys", "Pads"});
    Receiver r;
    auto port = s.OpenIn(0, r.Callback());
    EXPECT_FALSE(s.InjectShort(0, 0xF8)); // not started yet
    EXPECT_FALSE(s.InjectShort(1, 0xF8)); // not open
    EXPECT_FALSE(s.InjectShort(2, 0xF8)); // no such device
    ASSERT_TRUE(port->Start());

    std::vector<ShortMessage> expected;
    for (int i = 0; i < 300; ++i) {
        const auto n = static_cast<std::uint8_t>(i % 128);
        for (ShortMessage m :
             {PackShortMessage(0x90, n, 100), PackShortMessage(0xC3, n, 0),
              PackShortMessage(0xE1, n, 0x40), ShortMessage{0xF8}, PackShortMessage(0xF3, n, 0)}) {
            ASSERT_TRUE(s.InjectShort(0, m));
            expected.push_back(m);
        }
    }
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    EXPECT_EQ(r.Shorts(), expected);

    ASSERT_TRUE(port->Reset({}));
    EXPECT_FALSE(s.InjectShort(0, 0xFE)); // stopped by the reset
    ASSERT_TRUE(port->Start());
    ASSERT_TRUE(s.InjectBytes(0, Bytes{0xB0, 0x07}));
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    EXPECT_EQ(r.Shorts().back(), 0x07B0u);
    ASSERT_TRUE(port->Close({}));
    EXPECT_FALSE(s.InjectShort(0, 0xF8)); // closed
    EXPECT_EQ(port->LostEvents(), 0u);
}

TEST(SimulatedInputs, SeveralPortsOfOneDeviceEachReceive) {
    SimulatedService s({}, {"Keys"});
    Receiver r1;
    Receiver r2;
    auto p1 = s.OpenIn(0, r1.Callback());
    auto p2 = s.OpenIn(0, r2.Callback());
    ASSERT_TRUE(p1->Start());
    EXPECT_TRUE(s.InjectShort(0, 0xFA));
    ASSERT_TRUE(p2->Start());
    EXPECT_TRUE(s.InjectShort(0, 0xFC));
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    EXPECT_EQ(r1.Shorts(), (std::vector<ShortMessage>{0xFA, 0xFC}));
    EXPECT_EQ(r2.Shorts(), std::vector<ShortMessage>{0xFC});
    EXPECT_EQ(s.InOpenNow(0), 2);
}

TEST(SimulatedInputs, LongSysexCutIntoTheQueuedBuffersByteExact) {
    SimulatedService s({}, {"Keys"});
    Receiver r;
    auto port = s.OpenIn(0, r.Callback());
    r.HandBackTo(port.get());
    Buffers buffers(3);
    buffers.PrepareAndAdd(*port);
    ASSERT_TRUE(port->Start());
    EXPECT_FALSE(s.InjectSysex(0, Bytes{0x90, 0x3C, 0x40})); // not a sysex

    const Bytes dump = UnevenSysexDump(10000);
    for (int round = 0; round < 3; ++round) { // the buffers come round again
        ASSERT_TRUE(s.InjectSysex(0, dump));
    }
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    const auto blocks = r.Blocks();
    const auto headers = r.Headers();
    ASSERT_EQ(blocks.size(), 9u);
    for (std::size_t round = 0; round < 3; ++round) {
        EXPECT_EQ(blocks[round * 3].size(), 4096u);
        EXPECT_EQ(blocks[round * 3 + 1].size(), 4096u);
        EXPECT_EQ(blocks[round * 3 + 2].size(), 1808u);
        Bytes joined;
        for (std::size_t k = 0; k < 3; ++k) {
            joined.insert(joined.end(), blocks[round * 3 + k].begin(), blocks[round * 3 + k].end());
        }
        EXPECT_EQ(joined, dump);
    }
    // Buffers are used in the order they were queued, then re-queued.
    EXPECT_EQ(headers[0], &buffers.headers[0]);
    EXPECT_EQ(headers[3], &buffers.headers[0]);
    EXPECT_EQ(headers[4], &buffers.headers[1]);
    EXPECT_EQ(port->LostEvents(), 0u);
    ASSERT_TRUE(port->Reset({}));
    ASSERT_TRUE(port->Close({}));
}

TEST(SimulatedInputs, ResetReturnsQueuedBuffersEmptyAndCloseNeedsIt) {
    SimulatedService s({}, {"Keys"});
    Receiver r;
    auto port = s.OpenIn(0, r.Callback());
    Buffers buffers(3);
    buffers.PrepareAndAdd(*port);
    ASSERT_TRUE(port->Start());
    EXPECT_FALSE(port->Close({})); // buffers still queued
    EXPECT_FALSE(port->UnprepareHeader(buffers.headers[0]));
    EXPECT_EQ(s.InOpenNow(0), 1);

    ASSERT_TRUE(port->Reset({}));
    const auto headers = r.Headers();
    ASSERT_EQ(headers.size(), 3u); // all of them, before Reset returned
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(headers[i], &buffers.headers[i]);
        EXPECT_EQ(headers[i]->dwBytesRecorded, 0u);
        EXPECT_FALSE(headers[i]->queued);
        EXPECT_TRUE(port->UnprepareHeader(buffers.headers[i]));
    }
    EXPECT_TRUE(port->Close({}));
    EXPECT_EQ(s.InOpenNow(0), 0);
    EXPECT_FALSE(port->Close({}));
}

TEST(SimulatedInputs, InjectedFailuresOfHeadersStartResetAndClose) {
    SimulatedService s({}, {"Keys", "Pads"});
    Receiver r;
    auto port = s.OpenIn(0, r.Callback());
    Buffers buffers(2);
    MidiHeader& h = buffers.headers[0];

    s.FailNth(SimOp::PrepareHeader);
    EXPECT_FALSE(port->PrepareHeader(h));
    EXPECT_FALSE(h.prepared);
    ASSERT_TRUE(port->PrepareHeader(h));
    s.FailNth(SimOp::AddBuffer, 1, 1); // the other device: not matched
    s.FailNth(SimOp::AddBuffer);
    EXPECT_FALSE(port->AddBuffer(h));
    EXPECT_FALSE(h.queued);
    s.FailNth(SimOp::UnprepareHeader);
    EXPECT_FALSE(port->UnprepareHeader(h));
    EXPECT_TRUE(h.prepared);
    EXPECT_TRUE(port->AddBuffer(h));
    EXPECT_FALSE(port->AddBuffer(h)); // already queued

    s.FailNth(SimOp::InStart);
    EXPECT_FALSE(port->Start());
    EXPECT_FALSE(s.InjectShort(0, 0xF8));
    ASSERT_TRUE(port->Start());

    s.FailNth(SimOp::InReset);
    EXPECT_FALSE(port->Reset({}));
    EXPECT_TRUE(r.Headers().empty()); // the failed reset returned nothing
    ASSERT_TRUE(s.InjectShort(0, 0xF8));
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    ASSERT_TRUE(port->Reset({}));
    EXPECT_EQ(r.Headers().size(), 1u);

    s.FailNth(SimOp::InClose);
    EXPECT_FALSE(port->Close({}));
    EXPECT_EQ(s.InOpenNow(0), 1);
    ASSERT_TRUE(port->Start()); // still open and working
    ASSERT_TRUE(s.InjectShort(0, 0xFE));
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    EXPECT_EQ(r.Shorts(), (std::vector<ShortMessage>{0xF8, 0xFE}));
    EXPECT_TRUE(port->Close({}));
    EXPECT_EQ(s.InOpenNow(0), 0);
    EXPECT_EQ(s.Calls(SimOp::AddBuffer), 3u);
}

// The program's callback hands each event to the window thread and waits
// until it has been handled; while the window thread waits in Reset or
// Close, the wait hook serves that hand-off.
TEST(SimulatedInputs, ResetAndCloseServeTheHandOffOfABlockedCallback) {
    SimulatedService s({}, {"Keys"});
    std::atomic<bool> entered{false};
    std::atomic<bool> served{false};
    std::atomic<int> delivered{0};
    auto port = s.OpenIn(0, [&](const InputEvent&) {
        entered = true;
        while (!served.exchange(false)) {
            std::this_thread::yield();
        }
        ++delivered;
    });
    const WaitHook serve = [&] {
        if (entered.exchange(false)) {
            served = true;
        }
    };
    Buffers buffers(2);
    buffers.PrepareAndAdd(*port);
    ASSERT_TRUE(port->Start());

    ASSERT_TRUE(s.InjectShort(0, 0xF8));
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    EXPECT_TRUE(port->Reset(serve)); // serves the short message and both buffers
    EXPECT_EQ(delivered, 3);

    ASSERT_TRUE(port->Start());
    ASSERT_TRUE(s.InjectShort(0, 0xFE));
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    EXPECT_TRUE(port->Close(serve));
    EXPECT_EQ(delivered, 4);
}

TEST(SimulatedInputs, LostEventsCountedWhenTheQueueIsFullOrNoBufferIsQueued) {
    SimulatedService s({}, {"Keys"});
    s.SetInputQueueBytes(64);
    std::atomic<bool> hold{true};
    std::atomic<bool> entered{false};
    Receiver r;
    auto inner = r.Callback();
    auto port = s.OpenIn(0, [&](const InputEvent& e) {
        entered = true;
        while (hold) {
            std::this_thread::yield();
        }
        inner(e);
    });
    ASSERT_TRUE(port->Start());

    // The first message is taken out and held by the callback; then the
    // 64-byte queue holds four 3-byte messages (with 12 bytes of length and
    // time each). A failure lets the callback go first: it would hold the
    // port's close for ever.
    ASSERT_TRUE(s.InjectShort(0, PackShortMessage(0x90, 0, 1)));
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    bool queued = true;
    for (std::uint8_t k = 1; k <= 4; ++k) {
        queued = s.InjectShort(0, PackShortMessage(0x90, k, 1)) && queued;
    }
    const bool refused = !s.InjectShort(0, PackShortMessage(0x90, 5, 1));
    hold = false;
    EXPECT_TRUE(queued);
    EXPECT_TRUE(refused);
    EXPECT_EQ(port->LostEvents(), 1u);
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    const auto shorts = r.Shorts();
    ASSERT_EQ(shorts.size(), 5u);
    EXPECT_EQ(shorts.back(), PackShortMessage(0x90, 4, 1));

    // A sysex with no buffer queued is lost, and counted.
    ASSERT_TRUE(s.InjectSysex(0, Bytes{0xF0, 0x7D, 0x00, 0xF7}));
    ASSERT_TRUE(s.WaitIdle(0, 10s));
    EXPECT_EQ(port->LostEvents(), 2u);
    EXPECT_TRUE(r.Blocks().empty());
    EXPECT_TRUE(port->Close({}));
}

TEST(SimulatedInputs, PortsOutlivingTheServiceStaySafe) {
    auto s = std::make_unique<SimulatedService>(Names{"A"}, Names{"Keys"});
    Receiver r;
    auto in = s->OpenIn(0, r.Callback());
    auto out = s->OpenOut(0);
    ASSERT_TRUE(in->Start());
    s.reset();
    EXPECT_TRUE(out->SendShort(0xF8));
    EXPECT_TRUE(out->Close());
    EXPECT_TRUE(in->Reset({}));
    EXPECT_TRUE(in->Close({}));
}

// --- The demo performance ---

namespace {

// The bytes a message with this status has, or 0 for a status that does
// not start a message of its own.
std::size_t ExpectedLength(std::uint8_t status) {
    if (status < 0x80 || status == 0xF7 || status == 0xF4 || status == 0xF5 || status == 0xF9 ||
        status == 0xFD) {
        return 0;
    }
    return static_cast<std::size_t>(velmora::ShortMessageBytes(status));
}

} // namespace

TEST(DemoPerformance, OnlyWellFormedMessagesInTimeOrder) {
    const LoopedPerformance p = DemoPerformance();
    EXPECT_EQ(p.loopMs, kDemoLoopMs);
    ASSERT_FALSE(p.events.empty());
    std::uint32_t last = 0;
    for (const TimedMessage& e : p.events) {
        SCOPED_TRACE(testing::Message() << "at " << e.timeMs << " ms");
        EXPECT_GE(e.timeMs, last);
        EXPECT_LT(e.timeMs, p.loopMs);
        last = e.timeMs;
        ASSERT_FALSE(e.bytes.empty());
        const std::uint8_t status = e.bytes[0];
        if (status == 0xF0) {
            ASSERT_GE(e.bytes.size(), 2u);
            EXPECT_EQ(e.bytes.back(), 0xF7);
            EXPECT_TRUE(std::all_of(e.bytes.begin() + 1, e.bytes.end() - 1,
                                    [](std::uint8_t b) { return b < 0x80; }));
            continue;
        }
        ASSERT_NE(ExpectedLength(status), 0u) << "status " << int{status};
        EXPECT_EQ(e.bytes.size(), ExpectedLength(status)) << "status " << int{status};
        EXPECT_TRUE(std::all_of(e.bytes.begin() + 1, e.bytes.end(),
                                [](std::uint8_t b) { return b < 0x80; }));
    }
}

TEST(DemoPerformance, EveryNoteEndsWithinTheLoop) {
    const LoopedPerformance p = DemoPerformance();
    std::map<std::pair<int, int>, std::uint32_t> sounding; // (channel, key) -> since
    int notes = 0;
    int offsByVelocityZero = 0;
    std::set<int> velocities;
    for (const TimedMessage& e : p.events) {
        const std::uint8_t kind = e.bytes[0] & 0xF0;
        if (kind != 0x80 && kind != 0x90) {
            continue;
        }
        const std::pair<int, int> key{e.bytes[0] & 0x0F, e.bytes[1]};
        if (kind == 0x90 && e.bytes[2] > 0) {
            EXPECT_FALSE(sounding.contains(key)) << "struck again at " << e.timeMs << " ms";
            sounding[key] = e.timeMs;
            velocities.insert(e.bytes[2]);
            ++notes;
        } else {
            EXPECT_TRUE(sounding.contains(key)) << "stray note off at " << e.timeMs << " ms";
            sounding.erase(key);
            offsByVelocityZero += kind == 0x90 ? 1 : 0;
        }
    }
    EXPECT_TRUE(sounding.empty());
    EXPECT_GT(notes, 100);
    EXPECT_GT(offsByVelocityZero, 0);
    EXPECT_GT(notes - offsByVelocityZero, 0); // Note Off messages too
    EXPECT_GT(velocities.size(), 8u);
}

TEST(DemoPerformance, ControllersClockSensingAndDumps) {
    const LoopedPerformance p = DemoPerformance();
    std::set<std::pair<int, int>> controls; // (controller, value) seen
    std::set<int> bends;
    int programs = 0;
    int pressures = 0;
    std::vector<std::uint32_t> clocks;
    std::vector<std::uint32_t> sensing;
    std::vector<const TimedMessage*> dumps;
    for (const TimedMessage& e : p.events) {
        switch (e.bytes[0] & 0xF0) {
        case 0xB0:
            controls.insert({e.bytes[1], e.bytes[2]});
            break;
        case 0xC0:
            ++programs;
            break;
        case 0xD0:
            ++pressures;
            break;
        case 0xE0:
            bends.insert(e.bytes[1] | e.bytes[2] << 7);
            break;
        default:
            break;
        }
        if (e.bytes[0] == 0xF8) {
            clocks.push_back(e.timeMs);
        } else if (e.bytes[0] == 0xFE) {
            sensing.push_back(e.timeMs);
        } else if (e.bytes[0] == 0xF0) {
            dumps.push_back(&e);
        }
    }
    EXPECT_TRUE(controls.contains({64, 127}));
    EXPECT_TRUE(controls.contains({64, 0}));
    for (int controller : {1, 7, 10}) {
        EXPECT_GT(std::count_if(controls.begin(), controls.end(),
                                [&](const auto& c) { return c.first == controller; }),
                  5)
            << "controller " << controller;
    }
    EXPECT_GT(bends.size(), 20u); // sweeps, not jumps
    EXPECT_TRUE(bends.contains(0x2000));
    EXPECT_GT(programs, 0);
    EXPECT_GT(pressures, 5);

    // 24 clocks per beat, evenly spread, and the loop ends on a whole beat.
    ASSERT_EQ(clocks.size(), p.loopMs / kDemoBeatMs * 24);
    for (std::size_t i = 1; i < clocks.size(); ++i) {
        const std::uint32_t gap = clocks[i] - clocks[i - 1];
        EXPECT_TRUE(gap == 20 || gap == 21) << "gap " << gap;
    }
    EXPECT_EQ(clocks.front(), 0u);
    const std::uint32_t wrapGap = p.loopMs - clocks.back();
    EXPECT_TRUE(wrapGap == 20 || wrapGap == 21) << "gap " << wrapGap;

    ASSERT_FALSE(sensing.empty());
    EXPECT_EQ(sensing.front(), 0u);
    for (std::size_t i = 1; i < sensing.size(); ++i) {
        EXPECT_EQ(sensing[i] - sensing[i - 1], 300u);
    }
    EXPECT_LE(p.loopMs - sensing.back(), 300u);

    // Manufacturer dumps under the non-commercial ID, with a good checksum,
    // 8 s apart; one does not fit a 4096-byte input buffer.
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_EQ(dumps[1]->timeMs - dumps[0]->timeMs, 8000u);
    bool longDump = false;
    for (const TimedMessage* d : dumps) {
        ASSERT_GT(d->bytes.size(), 300u);
        EXPECT_EQ(d->bytes[1], 0x7D);
        unsigned sum = 0;
        for (std::size_t i = 6; i + 1 < d->bytes.size(); ++i) {
            sum += d->bytes[i];
        }
        EXPECT_EQ(sum % 128, 0u);
        longDump = longDump || d->bytes.size() > 4096;
    }
    EXPECT_TRUE(longDump);
}

// --- The demo service ---

TEST(DemoService, DevicesAndABoundedRecord) {
    auto s = CreateDemoService();
    EXPECT_EQ(s->Name(), "simulated");
    ASSERT_EQ(s->OutDeviceCount(), 2);
    EXPECT_EQ(s->OutDeviceName(0), kDemoSynthName);
    EXPECT_EQ(s->OutDeviceName(1), kDemoSynth2Name);
    ASSERT_EQ(s->InDeviceCount(), 1);
    EXPECT_EQ(s->InDeviceName(0), kDemoKeyboardName);

    auto synth = s->OpenOut(0);
    for (std::size_t i = 0; i < kDemoRecordLimit + 5; ++i) {
        ASSERT_TRUE(synth->SendShort(static_cast<ShortMessage>(i)));
    }
    EXPECT_EQ(s->Sent(0).size(), kDemoRecordLimit);
    EXPECT_EQ(s->Sent(0).front().message, 5u);
    EXPECT_EQ(s->DroppedRecords(0), 5u);
    EXPECT_EQ(s->SentCount(0), kDemoRecordLimit + 5);
}

TEST(DemoService, KeyboardPlaysWhileStartedAndStopsOnResetAndClose) {
    const int threadsBefore = ThreadCount();
    auto s = CreateDemoService();
    Receiver r;
    auto port = s->OpenIn(0, r.Callback());
    ASSERT_TRUE(port->Start());
    auto noteOns = [&] {
        const auto shorts = r.Shorts();
        return std::count_if(shorts.begin(), shorts.end(), [](ShortMessage m) {
            return (m & 0xF0) == 0x90 && velmora::Data2Of(m) > 0;
        });
    };
    ASSERT_TRUE(Eventually([&] { return noteOns() >= 4; }));

    // The performance, in its order, from its start.
    std::vector<ShortMessage> opening;
    for (const TimedMessage& e : DemoPerformance().events) {
        if (opening.size() == 30) {
            break;
        }
        ShortMessage m = 0;
        for (std::size_t i = 0; i < e.bytes.size(); ++i) {
            m |= ShortMessage{e.bytes[i]} << (8 * i);
        }
        opening.push_back(m);
    }
    ASSERT_TRUE(Eventually([&] { return r.Shorts().size() >= opening.size(); }));
    auto shorts = r.Shorts();
    shorts.resize(opening.size());
    EXPECT_EQ(shorts, opening);

    ASSERT_TRUE(port->Reset({}));
    const std::size_t afterReset = r.Shorts().size();
    EXPECT_FALSE(s->InjectShort(0, 0xF8));
    ASSERT_TRUE(s->WaitIdle(0, 10s));
    EXPECT_EQ(r.Shorts().size(), afterReset);

    // Started again, it plays again from the top.
    ASSERT_TRUE(port->Start());
    ASSERT_TRUE(Eventually([&] { return r.Shorts().size() >= afterReset + 5; }));
    EXPECT_EQ(r.Shorts()[afterReset], opening[0]);
    ASSERT_TRUE(port->Close({}));
    port.reset();
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsBefore; }));
}

TEST(DemoService, PlayerStopsWhenTheServiceGoes) {
    const int threadsBefore = ThreadCount();
    auto s = CreateDemoService();
    Receiver r;
    auto port = s->OpenIn(0, r.Callback());
    ASSERT_TRUE(port->Start());
    ASSERT_TRUE(Eventually([&] { return !r.Shorts().empty(); }));
    EXPECT_EQ(ThreadCount(), threadsBefore + 2); // delivery and player
    s.reset();
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsBefore + 1; }));
    EXPECT_TRUE(port->Start()); // nothing to play any more
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);
    EXPECT_TRUE(port->Reset({}));
    EXPECT_TRUE(port->Close({}));
}

TEST(SimulatedInputs, AShortPerformanceLoopsWithItsSysexIntoTheBuffers) {
    SimulatedService s({}, {"Keys"});
    LoopedPerformance p;
    p.loopMs = 5;
    p.events = {{0, {0x90, 60, 100}}, {1, UnevenSysexDump(5000)}, {2, {0x80, 60, 0}}};
    s.SetPerformance(0, p);
    Receiver r;
    auto port = s.OpenIn(0, r.Callback());
    r.HandBackTo(port.get());
    Buffers buffers(4);
    buffers.PrepareAndAdd(*port);
    ASSERT_TRUE(port->Start());
    ASSERT_TRUE(Eventually([&] { return r.Shorts().size() >= 10; }));
    ASSERT_TRUE(port->Reset({}));
    const auto shorts = r.Shorts();
    for (std::size_t i = 0; i < shorts.size(); ++i) {
        EXPECT_EQ(shorts[i], i % 2 == 0 ? 0x643C90u : 0x003C80u);
    }
    // Every dump arrives whole in two blocks (the reset may cut the last one
    // short), then the reset returns the queued buffers empty.
    const auto blocks = r.Blocks();
    const Bytes dump = UnevenSysexDump(5000);
    const Bytes first(dump.begin(), dump.begin() + 4096);
    const Bytes second(dump.begin() + 4096, dump.end());
    std::size_t i = 0;
    for (; i + 1 < blocks.size() && !blocks[i + 1].empty(); i += 2) {
        EXPECT_EQ(blocks[i], first);
        EXPECT_EQ(blocks[i + 1], second);
    }
    EXPECT_GE(i, 8u);
    if (i < blocks.size() && !blocks[i].empty()) {
        EXPECT_EQ(blocks[i++], first);
    }
    ASSERT_EQ(blocks.size() - i, 4u);
    for (; i < blocks.size(); ++i) {
        EXPECT_TRUE(blocks[i].empty());
    }
    EXPECT_TRUE(port->Close({}));
}
