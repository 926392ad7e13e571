#include "midi/jack/jack_ports.h"

#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "core/midi_stream.h"
#include "core/router_transform.h"
#include "core/short_message.h"

namespace velmora::midi {

namespace {

// Room for what the senders hand over ahead of the cycles: 512 KB, touched
// only as it is used.
constexpr std::size_t kOutRingBytes = std::size_t{512} << 10;
// A sender whose output takes nothing for this long gives up.
constexpr auto kStallTimeout = std::chrono::seconds(2);
// Pieces of a message longer than the port takes as one event, until the
// first cycle has said how long one may be.
constexpr std::size_t kFallbackPiece = 1024;
// PipeWire's libjack (0.3.65) says a port takes an event of 32,736 bytes at
// quantum 256, but puts a 16-byte header before it in a buffer of 32,768
// and writes past its end (the program crashes): an event stays 16 bytes
// under what the port says.
constexpr std::size_t kEventHeadroom = 16;
// How far the cycle's thru may run ahead of the delivery thread, which
// watches it for loops: some 4,000 short messages.
constexpr std::size_t kThruLeadBytes = std::size_t{64} << 10;
// The cycle's copy of an event it cuts into messages.
constexpr std::size_t kScratchBytes = std::size_t{64} << 10;
// Cycles to wait after a connection: the server takes it in a cycle later.
constexpr std::uint64_t kSettleCycles = 2;
constexpr auto kSettleTimeout = std::chrono::seconds(1);

// Whether `message`, one message the input read, reaches the callback as a
// short message that thru passes on (timing clock never is).
bool ThruPasses(std::span<const std::uint8_t> message) {
    const std::uint8_t first = message[0];
    if (first < 0x80 || first == 0xF0 || first == 0xF7 || message.size() > 3 ||
        ShortMessageBytes(first) == 0) {
        return false;
    }
    return !(first == 0xF8 && message.size() == 1);
}

ShortMessage Packed(std::span<const std::uint8_t> message) {
    ShortMessage m = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        m |= ShortMessage{message[i]} << (8 * i);
    }
    return m;
}

bool Connect(JackClient& client, const std::string& source, const std::string& destination) {
    const std::optional<int> result = client.Ask([source, destination](jack_client_t* handle) {
        return jack_connect(handle, source.c_str(), destination.c_str());
    });
    return result && (*result == 0 || *result == EEXIST);
}

// Registers one of our ports: it and its full name, or nothing.
std::optional<std::pair<jack_port_t*, std::string>>
Register(JackClient& client, const std::string& portName, unsigned long flags) {
    auto made = client.Ask([portName, flags](jack_client_t* handle) {
        jack_port_t* port =
            jack_port_register(handle, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        return std::make_pair(port, port != nullptr ? std::string(jack_port_name(port)) : "");
    });
    if (!made || made->first == nullptr) {
        return std::nullopt;
    }
    return made;
}

} // namespace

bool DeviceWatch::CameBack(JackClient& client) {
    // The port's id; 0 when it is not there (no port has id 0).
    const jack_uuid_t id = client
                               .Ask([device = device_](jack_client_t* handle) {
                                   jack_port_t* port = jack_port_by_name(handle, device.c_str());
                                   return port != nullptr ? jack_port_uuid(port) : jack_uuid_t{0};
                               })
                               .value_or(0);
    if (id == 0) {
        missing_.store(true, std::memory_order_release);
        return false;
    }
    const bool fresh = !looked_ || missing_.load(std::memory_order_acquire) || id != seen_;
    looked_ = true;
    seen_ = id;
    missing_.store(false, std::memory_order_release);
    return fresh;
}

// ---------------------------------------------------------------- output

JackOutPort::JackOutPort(std::shared_ptr<JackClient> client, const std::string& portName,
                         const std::string& device)
    : client_(std::move(client)), device_(device), ring_(kOutRingBytes),
      assembler_(SysexAssembler::Mode::WholeMessages) {
    // The device first: a port registered and gone at once makes PipeWire
    // 0.3.65 shut down other clients that were still looking at it.
    if (!device_.CameBack(*client_)) {
        return;
    }
    const auto made = Register(*client_, portName, JackPortIsOutput);
    if (!made) {
        return;
    }
    port_ = made->first;
    fullName_ = made->second;
    // Connected before the graph thread may look at it (Add).
    if (!Connect(*client_, fullName_, device) || !client_->Add(this)) {
        client_->Unregister(port_);
        port_ = nullptr;
        return;
    }
    connected_.store(true, std::memory_order_release);
    client_->WaitCycles(kSettleCycles, kSettleTimeout);
}

JackOutPort::~JackOutPort() {
    Close();
}

bool JackOutPort::PushWaiting(std::span<const std::uint8_t> event) {
    auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
    std::uint64_t done = doneBytes_.load(std::memory_order_acquire);
    while (!ring_.Push(event)) {
        const std::uint64_t now = doneBytes_.load(std::memory_order_acquire);
        if (now != done) {
            done = now;
            deadline = std::chrono::steady_clock::now() + kStallTimeout;
        }
        if (!client_->Running() || std::chrono::steady_clock::now() >= deadline) {
            droppedBytes_.fetch_add(event.size(), std::memory_order_relaxed);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    queuedBytes_.fetch_add(event.size(), std::memory_order_release);
    return true;
}

// One whole message: one event when the port takes it, else pieces of the
// longest event it takes. On the sender's thread.
bool JackOutPort::Queue(std::span<const std::uint8_t> message) {
    // How long an event may be is known after the port's first cycle; on a
    // busy machine that can come after the first send. Cut in pieces of a
    // guessed length, a message would reach the device as more events than
    // it sent, so the first cycle is waited for (as long as a full queue).
    const auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
    while (maxEvent_.load(std::memory_order_acquire) == 0 && client_->Running() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    std::size_t piece = maxEvent_.load(std::memory_order_acquire);
    piece = piece > kEventHeadroom ? piece - kEventHeadroom : kFallbackPiece;
    while (!message.empty()) {
        const std::size_t n = std::min(piece, message.size());
        if (!PushWaiting(message.first(n))) {
            droppedBytes_.fetch_add(message.size() - n, std::memory_order_relaxed);
            return false;
        }
        message = message.subspan(n);
    }
    return true;
}

bool JackOutPort::SendShort(ShortMessage message) {
    const std::array<std::uint8_t, 3> bytes{StatusOf(message), Data1Of(message), Data2Of(message)};
    const auto length = static_cast<std::size_t>(ShortMessageBytes(bytes[0]));
    if (length == 0) {
        return false;
    }
    std::lock_guard lock(sendMutex_);
    if (closed_.load() || !Ok() || !client_->Running()) {
        return false;
    }
    return PushWaiting(std::span(bytes).first(length));
}

bool JackOutPort::SendLong(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(sendMutex_);
    if (closed_.load() || !Ok() || Gone()) {
        return false;
    }
    try {
        return assembler_.Send(
            bytes, [this](std::span<const std::uint8_t> message) { return Queue(message); });
    } catch (...) {
        assembler_.DropHeld();
        return false;
    }
}

void JackOutPort::Drain() const {
    auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
    std::uint64_t done = doneBytes_.load(std::memory_order_acquire);
    while (done < queuedBytes_.load(std::memory_order_acquire) && client_->Running()) {
        std::this_thread::sleep_for(std::chrono::microseconds(250));
        const std::uint64_t now = doneBytes_.load(std::memory_order_acquire);
        if (now != done) {
            done = now;
            deadline = std::chrono::steady_clock::now() + kStallTimeout;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            client_->Answers(); // a frozen server counts as stopped once this tells
            return;
        }
    }
}

std::uint64_t JackOutPort::UnsentBytes() const {
    std::lock_guard lock(sendMutex_);
    Drain();
    const std::uint64_t waiting =
        queuedBytes_.load(std::memory_order_acquire) - doneBytes_.load(std::memory_order_acquire);
    return assembler_.Unsent() + droppedBytes_.load(std::memory_order_acquire) + waiting;
}

std::size_t JackOutPort::HeldBytes() const {
    std::lock_guard lock(sendMutex_);
    return assembler_.HeldBytes();
}

void JackOutPort::DropHeld() {
    std::lock_guard lock(sendMutex_);
    assembler_.DropHeld();
}

bool JackOutPort::Reset() {
    std::lock_guard lock(sendMutex_);
    if (closed_.load() || !Ok()) {
        return false;
    }
    assembler_.Clear();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t status = 0xB0 | channel;
        PushWaiting(std::array<std::uint8_t, 3>{status, 64, 0});
        PushWaiting(std::array<std::uint8_t, 3>{status, 123, 0});
    }
    return true;
}

bool JackOutPort::Gone() const {
    return !client_->Running() || device_.Missing();
}

bool JackOutPort::Close() {
    {
        std::lock_guard lock(sendMutex_);
        if (closed_.load() || !Ok()) {
            return false;
        }
        closed_.store(true);
        assembler_.Clear();
        Drain(); // the last messages go out first
    }
    StopThru();
    for (int i = 0; i < 64 && thruWaiting_.load(std::memory_order_acquire) > 0; ++i) {
        if (!client_->WaitCycles(1, std::chrono::milliseconds(500))) {
            break;
        }
    }
    // One more cycle empties the port's buffer: a port no cycle clears any
    // more keeps its last events there, and a receiver reads them again in
    // every cycle until the port is gone.
    client_->WaitCycles(2, std::chrono::milliseconds(500));
    client_->Remove(this);
    client_->Unregister(port_);
    return true;
}

bool JackOutPort::PassThruInCycle(MidiInPort& from, const ThruSwitches& switches) {
    auto* in = dynamic_cast<JackInPort*>(&from);
    if (in == nullptr || in->client_ != client_ || !Ok() || !in->Ok()) {
        return false;
    }
    if (switches.path == nullptr) {
        StopThru();
        return false;
    }
    std::lock_guard stop(in->stopMutex_);
    std::lock_guard link(client_->LinkMutex());
    if (in->stopped_ || closed_.load()) {
        return false;
    }
    // Cut what either port was linked to, and let no cycle follow it any more
    // before the switches change.
    if (JackOutPort* old = in->thruTo_.load(std::memory_order_seq_cst)) {
        old->thruFrom_ = nullptr;
        in->thruTo_.store(nullptr, std::memory_order_seq_cst);
    }
    if (thruFrom_ != nullptr) {
        thruFrom_->thruTo_.store(nullptr, std::memory_order_seq_cst);
    }
    client_->WaitCyclesInFlight();
    thru_.Allocate(); // no cycle puts anything in before the link below
    in->thruSwitches_ = switches;
    thruFrom_ = in;
    in->thruTo_.store(this, std::memory_order_seq_cst);
    return true;
}

void JackOutPort::StopThru() {
    {
        std::lock_guard link(client_->LinkMutex());
        if (thruFrom_ == nullptr) {
            return;
        }
        thruFrom_->thruTo_.store(nullptr, std::memory_order_seq_cst);
        thruFrom_ = nullptr;
    }
    client_->WaitCyclesInFlight();
}

void JackOutPort::PassThru(ShortMessage message, jack_nframes_t frame) {
    const std::uint8_t status = StatusOf(message);
    thru_.Push({{status, Data1Of(message), Data2Of(message)},
                static_cast<std::uint8_t>(ShortMessageBytes(status)),
                frame});
}

// One cycle's writing into the port buffer, within the cycle's budget and in
// non-decreasing time, as JACK needs.
struct JackOutPort::CycleWriter {
    void* buffer;
    std::size_t cost = 0;
    std::size_t events = 0;
    jack_nframes_t last = 0;
    bool full = false;
    std::uint64_t dropped = 0; // bytes

    bool Fits(std::size_t length) {
        if (!full && events > 0 && cost + JackCycleBudget::Cost(length) > JackCycleBudget::kBytes) {
            full = true; // the next cycle takes the rest
        }
        return !full;
    }
    jack_midi_data_t* Reserve(jack_nframes_t time, std::size_t length) {
        time = std::max(time, last);
        jack_midi_data_t* at = jack_midi_event_reserve(buffer, time, length);
        if (at != nullptr) {
            last = time;
            cost += JackCycleBudget::Cost(length);
            ++events;
        }
        return at;
    }
};

// The real-time thread: the thru'd messages that wait, oldest first; those
// of earlier cycles (`lateOnly`) go at the cycle's first frame, those of
// this one at their own frames.
void JackOutPort::WriteThru(CycleWriter& writer, bool connected, bool lateOnly) {
    while (!thru_.Empty() && (!lateOnly || thru_.FrontIsLate())) {
        const ThruBacklog::Entry& entry = thru_.Front();
        if (!connected) {
            writer.dropped += entry.length;
            thru_.Pop();
            continue;
        }
        if (!writer.Fits(entry.length)) {
            return;
        }
        jack_midi_data_t* at = writer.Reserve(thru_.FrontIsLate() ? 0 : entry.frame, entry.length);
        if (at == nullptr) {
            writer.full = true;
            return;
        }
        std::memcpy(at, entry.bytes.data(), entry.length);
        thru_.Pop();
    }
}

// The real-time thread: writes what fits this cycle into the port buffer,
// with no lock and no allocation: thru left over from earlier cycles, then
// what the senders handed over through the ring, then the thru of this
// cycle. While the port is not connected, what comes is dropped and
// counted: it would go nowhere.
void JackOutPort::Cycle(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port_, frames);
    jack_midi_clear_buffer(buffer);
    maxEvent_.store(jack_midi_max_event_size(buffer), std::memory_order_release);
    const bool connected = connected_.load(std::memory_order_acquire) && !device_.Missing();
    CycleWriter writer{buffer};
    WriteThru(writer, connected, true);
    std::size_t length = 0;
    std::uint64_t done = 0;
    while (ring_.PeekLength(length)) {
        if (!connected) {
            ring_.PopInto(nullptr);
            writer.dropped += length;
            done += length;
            continue;
        }
        if (!writer.Fits(length)) {
            break;
        }
        jack_midi_data_t* at = writer.Reserve(0, length);
        if (at == nullptr) {
            if (writer.events == 0) { // it never fits: the port shrank since it was cut
                ring_.PopInto(nullptr);
                writer.dropped += length;
                done += length;
            }
            writer.full = true;
            break;
        }
        ring_.PopInto(at);
        done += length;
    }
    WriteThru(writer, connected, false);
    thru_.EndCycle();
    thruWaiting_.store(thru_.Size(), std::memory_order_release);
    if (writer.dropped > 0) {
        droppedBytes_.fetch_add(writer.dropped, std::memory_order_relaxed);
    }
    if (done > 0) {
        doneBytes_.fetch_add(done, std::memory_order_release);
    }
}

// The graph thread: a device that came back is connected again.
void JackOutPort::GraphChanged() {
    if (closed_.load()) {
        return;
    }
    if (device_.CameBack(*client_)) {
        Connect(*client_, fullName_, device_.Device());
    }
    const bool linked =
        !device_.Missing() && client_
                                  ->Ask([port = port_, device = device_.Device()](jack_client_t*) {
                                      return jack_port_connected_to(port, device.c_str()) != 0;
                                  })
                                  .value_or(false);
    connected_.store(linked, std::memory_order_release);
}

// ---------------------------------------------------------------- input

JackInPort::JackInPort(InputCallback callback, std::shared_ptr<JackClient> client,
                       const std::string& portName, const std::string& device)
    : QueuedMidiIn(std::move(callback)), client_(std::move(client)), device_(device),
      scratch_(std::make_unique<std::uint8_t[]>(kScratchBytes)) {
    if (!device.empty() && !device_.CameBack(*client_)) {
        return; // the device first, as for an output
    }
    const auto made = Register(*client_, portName, JackPortIsInput);
    if (!made) {
        return;
    }
    port_ = made->first;
    fullName_ = made->second;
    // Connected before the graph thread may look at it (Add).
    if ((!device.empty() && !Connect(*client_, device, fullName_)) || !client_->Add(this)) {
        client_->Unregister(port_);
        port_ = nullptr;
        return;
    }
    client_->WaitCycles(kSettleCycles, kSettleTimeout);
}

JackInPort::~JackInPort() {
    StopProducer();
    StopDelivery({}); // before the members the cycle may still use go away
}

void JackInPort::StopProducer() {
    std::lock_guard lock(stopMutex_);
    if (stopped_ || port_ == nullptr) {
        return;
    }
    stopped_ = true;
    {
        std::lock_guard link(client_->LinkMutex());
        if (JackOutPort* out = thruTo_.load(std::memory_order_seq_cst)) {
            out->thruFrom_ = nullptr;
            thruTo_.store(nullptr, std::memory_order_seq_cst);
        }
    }
    client_->Remove(this); // also waits for the cycles that followed the link
    client_->Unregister(port_);
}

bool JackInPort::Gone() const {
    return !client_->Running() || (!device_.Device().empty() && device_.Missing());
}

// The real-time thread: every event goes into QueuedMidiIn's ring, which
// never blocks or allocates. An event holds one message, or the rest of a
// sysex message longer than one event (it starts with a data byte or F7);
// an event with more in it is cut into its messages on a copy, as JACK's
// buffer is shared with the other clients that read it. Each message keeps
// the time of its frame: counted in frames from a cycle whose time on the
// input clock was taken, so that events lie as far apart as the server's
// frames say even when it runs late and catches up; taken again when the
// two clocks drift a second apart. Only lock-free reads of the server's
// state and the clock.
void JackInPort::Cycle(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0) {
        return;
    }
    const WakeBatch batch(*this); // the delivery thread takes the cycle's messages together
    // Thru inside the cycle, while its switches say so (read once a cycle:
    // a loop the delivery thread breaks stops passing from the next cycle).
    JackOutPort* thru = thruTo_.load(std::memory_order_seq_cst);
    int thruChannel = 0;
    if (thru != nullptr && !thruSwitches_.PassingNow(thruChannel)) {
        thru = nullptr;
    }
    if (thruHeld_ && Idle()) {
        thruHeld_ = false;
    }
    jack_client_t* handle = client_->HandleForCycle();
    const std::uint64_t rate = std::max<std::uint64_t>(jack_get_sample_rate(handle), 1);
    const jack_nframes_t cycleStart = jack_last_frame_time(handle);
    const std::uint64_t now = InputClockMicros();
    const std::uint64_t cycleMicros =
        now - jack_frames_since_cycle_start(handle) * 1'000'000 / rate;
    const auto framesToMicros = [&](jack_nframes_t frame) {
        const std::uint32_t since = frame - anchorFrame_; // wraps as frame times do
        return anchorMicros_ + std::uint64_t{since} * 1'000'000 / rate;
    };
    if (!anchored_ || (framesToMicros(cycleStart) > cycleMicros + 1'000'000) ||
        (framesToMicros(cycleStart) + 1'000'000 < cycleMicros)) {
        anchored_ = true;
        anchorFrame_ = cycleStart;
        anchorMicros_ = cycleMicros;
    }
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) {
            continue;
        }
        const std::span<const std::uint8_t> bytes(event.buffer, event.size);
        const std::uint64_t micros = framesToMicros(cycleStart + event.time);
        const std::uint8_t first = bytes[0];
        const bool plain =
            first < 0x80 || first == 0xF7 ||
            (first != 0xF0 && bytes.size() <= static_cast<std::size_t>(ShortMessageBytes(first)));
        if (plain || bytes.size() > kScratchBytes) {
            Take(bytes, micros, event.time, thru, thruChannel);
            continue;
        }
        std::memcpy(scratch_.get(), bytes.data(), bytes.size());
        const std::size_t dropped =
            SplitMidiBytes(std::span<std::uint8_t>(scratch_.get(), bytes.size()),
                           [&](std::span<const std::uint8_t> one) {
                               Take(one, micros, event.time, thru, thruChannel);
                           });
        if (dropped > 0) {
            NoteDropped(dropped);
        }
    }
}

// The real-time thread. A message thru passes goes to the output only once
// the queue took it, so that the delivery thread, which counts what thru
// sent, sees every one. The loop guard runs on the delivery thread: while
// that thread is far behind (a loop that goes round every cycle, a busy
// machine), thru is left to it as on other services, until it has caught up
// with everything (so nothing overtakes what waits for it); so it is when
// the output has no more room for what waits there.
void JackInPort::Take(std::span<const std::uint8_t> message, std::uint64_t micros,
                      jack_nframes_t frame, JackOutPort* thru, int thruChannel) {
    if (thru != nullptr && !thruHeld_ && (WaitingBytes() > kThruLeadBytes || !thru->ThruRoom())) {
        thruHeld_ = true;
    }
    if (thru == nullptr || thruHeld_ || !ThruPasses(message)) {
        Enqueue(message, micros);
        return;
    }
    if (EnqueuePassedThru(message, micros, thruChannel)) {
        thru->PassThru(ThruMessage(Packed(message), thruChannel), frame);
    }
}

// The graph thread: a device that came back is connected again.
void JackInPort::GraphChanged() {
    if (device_.Device().empty()) {
        return;
    }
    if (device_.CameBack(*client_)) {
        Connect(*client_, device_.Device(), fullName_);
    }
}

} // namespace velmora::midi
