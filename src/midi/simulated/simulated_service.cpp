#include "midi/simulated/simulated_service.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "midi/queued_midi_in.h"
#include "midi/sysex_assembler.h"

namespace velmora::midi {

namespace {

class SimInPort;

// A failure rule: fails the `countdown`-th matching call, or every one.
struct FailureRule {
    SimOp op;
    int device;
    bool always;
    int countdown;
};

struct OutDevice {
    std::string name;
    bool present = true; // listed; a device that went away is not
    // Times it went away: a port opened before that is dead for good, also
    // once the device is back, as a real port's connection is.
    unsigned departures = 0;
    int opens = 0;
    int openNow = 0;
    std::deque<SentMessage> records;
    std::uint64_t sent = 0;
    std::uint64_t dropped = 0;
    int loopsTo = -1; // the input device what it is sent comes back at
};

struct InDevice {
    std::string name;
    bool present = true;
    unsigned departures = 0;  // as OutDevice's
    bool virtualPort = false; // an own input port: never listed
    int opens = 0;
    int openNow = 0;
    std::vector<SimInPort*> ports; // open ports that take injected messages
    std::shared_ptr<const LoopedPerformance> performance;
};

} // namespace

namespace detail {

// Everything the service and its ports share; ports keep it alive, so a port
// outliving the service stays safe. Every field is guarded by `mutex`.
struct SimState {
    mutable std::mutex mutex;
    mutable std::condition_variable sentChanged;
    std::vector<OutDevice> outs;
    std::vector<InDevice> ins;
    std::vector<FailureRule> rules;
    std::array<std::uint64_t, static_cast<std::size_t>(SimOp::Count)> calls{};
    std::size_t recordLimit = 0;
    std::size_t inputQueueBytes = QueuedMidiIn::kDefaultQueueBytes;
    std::uint64_t nextPortId = 1;
    bool serviceAlive = true;
    std::uint64_t listChanges = 0; // DeviceListChanges
    // Ways back set by tests, by output and input name; none elsewhere.
    std::map<std::pair<std::string, std::string>, MidiService::WayBack> waysBack;

    // Counts the call and applies the rules; the caller holds `mutex`.
    bool FailsLocked(SimOp op, int device) {
        ++calls[static_cast<std::size_t>(op)];
        bool fail = false;
        for (auto it = rules.begin(); it != rules.end();) {
            if (it->op != op ||
                (it->device != SimulatedService::kAnyDevice && it->device != device)) {
                ++it;
                continue;
            }
            if (it->always) {
                fail = true;
                ++it;
            } else if (--it->countdown == 0) {
                fail = true;
                it = rules.erase(it);
            } else {
                ++it;
            }
        }
        return fail;
    }

    bool Fails(SimOp op, int device) {
        std::lock_guard lock(mutex);
        return FailsLocked(op, device);
    }

    OutDevice* Out(int device) {
        return device >= 0 && device < static_cast<int>(outs.size())
                   ? &outs[static_cast<std::size_t>(device)]
                   : nullptr;
    }
    InDevice* In(int device) {
        return device >= 0 && device < static_cast<int>(ins.size())
                   ? &ins[static_cast<std::size_t>(device)]
                   : nullptr;
    }

    bool Running() const { return running; }
    bool running = true;        // false once the service itself went away
    unsigned stops = 0;         // times it went away: ports of before are dead
    bool wholeMessages = false; // outputs take whole sysex messages only
    bool virtualIn = false;     // OpenVirtualIn works

    int VirtualIn(const std::string& name) const {
        for (std::size_t i = 0; i < ins.size(); ++i) {
            if (ins[i].virtualPort && ins[i].name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // The device number of the `position`-th listed device; -1 past the end.
    template <typename D> static int Listed(const std::vector<D>& devices, int position) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].present && position-- == 0) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    template <typename D> static int Count(const std::vector<D>& devices) {
        return static_cast<int>(
            std::count_if(devices.begin(), devices.end(), [](const D& d) { return d.present; }));
    }
    template <typename D> static int Named(const std::vector<D>& devices, const std::string& name) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].present && devices[i].name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

} // namespace detail

namespace {

using detail::SimState;

// Plays a looped performance in real time on its own thread. Start and Stop
// are called by the port's owner; RequestStop from any thread.
class LoopPlayer {
  public:
    using Sink = std::function<void(std::span<const std::uint8_t>)>;

    ~LoopPlayer() { Stop(); }

    void Start(std::shared_ptr<const LoopedPerformance> performance, Sink sink) {
        if (thread_.joinable() || !performance || performance->events.empty() ||
            performance->loopMs == 0) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            stop_ = false;
        }
        thread_ = std::thread([this, performance = std::move(performance), sink = std::move(sink)] {
            Run(*performance, sink);
        });
    }

    void RequestStop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
    }

    void Stop() {
        RequestStop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    void Run(const LoopedPerformance& performance, const Sink& sink) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        std::unique_lock lock(mutex_);
        for (std::uint64_t loop = 0;; ++loop) {
            for (const TimedMessage& event : performance.events) {
                const auto due =
                    start + std::chrono::milliseconds(loop * performance.loopMs + event.timeMs);
                if (wake_.wait_until(lock, due, [this] { return stop_; })) {
                    return;
                }
                lock.unlock();
                sink(event.bytes);
                lock.lock();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false; // guarded by mutex_
    std::thread thread_;
};

// Feeds the last message `out` was sent to the input it loops back to.
void LoopBackLocked(SimState& state, const OutDevice& out);

class SimOutPort : public MidiOutPort {
  public:
    SimOutPort(std::shared_ptr<SimState> state, int device, std::uint64_t id, bool wholeMessages)
        : state_(std::move(state)), device_(device), id_(id),
          departures_(state_->Out(device)->departures), stops_(state_->stops) {
        if (wholeMessages) {
            assembler_.emplace(SysexAssembler::Mode::WholeMessages);
        }
    }

    ~SimOutPort() override {
        std::lock_guard lock(state_->mutex);
        MarkClosedLocked();
    }

    bool SendShort(ShortMessage message) override {
        SentMessage record;
        record.message = message;
        return Record(SimOp::OutSendShort, std::move(record));
    }

    bool SendLong(std::span<const std::uint8_t> bytes) override {
        auto record = [this](std::span<const std::uint8_t> message) {
            SentMessage sent;
            sent.isLong = true;
            sent.bytes.assign(message.begin(), message.end());
            return Record(SimOp::OutSendLong, std::move(sent));
        };
        if (!assembler_) {
            return record(bytes);
        }
        std::lock_guard lock(assemblerMutex_);
        return assembler_->Send(bytes, record);
    }

    std::uint64_t UnsentBytes() const override {
        std::lock_guard lock(assemblerMutex_);
        return assembler_ ? assembler_->Unsent() : 0;
    }
    std::size_t HeldBytes() const override {
        std::lock_guard lock(assemblerMutex_);
        return assembler_ ? assembler_->HeldBytes() : 0;
    }
    void DropHeld() override {
        std::lock_guard lock(assemblerMutex_);
        if (assembler_) {
            assembler_->DropHeld();
        }
    }

    bool Reset() override {
        std::lock_guard lock(state_->mutex);
        return open_ && !state_->FailsLocked(SimOp::OutReset, device_);
    }

    bool Gone() const override {
        std::lock_guard lock(state_->mutex);
        return GoneLocked();
    }

    bool Close() override {
        std::lock_guard lock(state_->mutex);
        if (!open_ || state_->FailsLocked(SimOp::OutClose, device_)) {
            return false;
        }
        MarkClosedLocked();
        return true;
    }

    std::uint64_t Id() const { return id_; }

  private:
    bool Record(SimOp op, SentMessage record) {
        {
            std::lock_guard lock(state_->mutex);
            if (!open_ || state_->FailsLocked(op, device_) || GoneLocked()) {
                return false; // a device or service that went away takes nothing
            }
            record.port = id_;
            OutDevice& out = *state_->Out(device_);
            out.records.push_back(std::move(record));
            ++out.sent;
            LoopBackLocked(*state_, out);
            if (state_->recordLimit != 0 && out.records.size() > state_->recordLimit) {
                out.records.pop_front();
                ++out.dropped;
            }
        }
        state_->sentChanged.notify_all();
        return true;
    }

    void MarkClosedLocked() {
        if (open_) {
            open_ = false;
            --state_->Out(device_)->openNow;
        }
    }

    bool GoneLocked() const {
        return !state_->running || state_->stops != stops_ ||
               state_->Out(device_)->departures != departures_;
    }

    std::shared_ptr<SimState> state_;
    const int device_;
    const std::uint64_t id_;
    const unsigned departures_; // the device's and the service's when opened
    const unsigned stops_;
    mutable std::mutex assemblerMutex_;
    std::optional<SysexAssembler> assembler_; // a backend that takes whole messages only
    bool open_ = true;                        // guarded by state_->mutex
};

class SimInPort : public QueuedMidiIn {
  public:
    SimInPort(std::shared_ptr<SimState> state, int device, std::uint64_t id, InputCallback callback,
              std::size_t queueBytes)
        : QueuedMidiIn(std::move(callback), queueBytes), state_(std::move(state)), device_(device),
          id_(id), departures_(state_->In(device)->departures), stops_(state_->stops) {}

    ~SimInPort() override {
        Detach();
        player_.Stop();
        std::lock_guard lock(state_->mutex);
        MarkClosedLocked();
    }

    bool PrepareHeader(MidiHeader& header) override {
        return !state_->Fails(SimOp::PrepareHeader, device_) && QueuedMidiIn::PrepareHeader(header);
    }

    bool UnprepareHeader(MidiHeader& header) override {
        return !state_->Fails(SimOp::UnprepareHeader, device_) &&
               QueuedMidiIn::UnprepareHeader(header);
    }

    bool AddBuffer(MidiHeader& header) override {
        return !state_->Fails(SimOp::AddBuffer, device_) && QueuedMidiIn::AddBuffer(header);
    }

    bool Start() override {
        if (state_->Fails(SimOp::InStart, device_) || !QueuedMidiIn::Start()) {
            return false;
        }
        // Under the lock, so that a service being destroyed either sees the
        // player running and stops it, or is seen gone here.
        std::lock_guard lock(state_->mutex);
        const InDevice& in = *state_->In(device_);
        if (state_->serviceAlive && attached_) {
            player_.Start(in.performance,
                          [this](std::span<const std::uint8_t> bytes) { Produce(bytes); });
        }
        return true;
    }

    bool Reset(const WaitHook& whileWaiting) override {
        if (state_->Fails(SimOp::InReset, device_)) {
            return false;
        }
        player_.Stop();
        return QueuedMidiIn::Reset(whileWaiting);
    }

    bool Close(const WaitHook& whileWaiting) override {
        if (state_->Fails(SimOp::InClose, device_) || !QueuedMidiIn::Close(whileWaiting)) {
            return false;
        }
        std::lock_guard lock(state_->mutex);
        MarkClosedLocked();
        return true;
    }

    // The single producer of the queue: injections and the player take
    // turns.
    bool Produce(std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(produceMutex_);
        return Enqueue(bytes);
    }

    // Called with state_->mutex held.
    void StopPlayerSoon() { player_.RequestStop(); }

    bool Gone() const override {
        std::lock_guard lock(state_->mutex);
        return GoneLocked();
    }
    // Called with state_->mutex held. A port whose device went away gets
    // nothing more, also once the device is back.
    bool GoneLocked() const {
        return !state_->running || state_->stops != stops_ ||
               state_->In(device_)->departures != departures_;
    }

    std::uint64_t Id() const { return id_; }

  protected:
    void StopProducer() override {
        Detach();
        player_.Stop();
    }

  private:
    // Takes the port out of the device's injection targets.
    void Detach() {
        std::lock_guard lock(state_->mutex);
        if (!attached_) {
            return;
        }
        attached_ = false;
        auto& ports = state_->In(device_)->ports;
        ports.erase(std::remove(ports.begin(), ports.end(), this), ports.end());
    }

    void MarkClosedLocked() {
        if (open_) {
            open_ = false;
            --state_->In(device_)->openNow;
        }
    }

    std::shared_ptr<SimState> state_;
    const int device_;
    const std::uint64_t id_;
    const unsigned departures_; // the device's and the service's when opened
    const unsigned stops_;
    bool attached_ = true; // guarded by state_->mutex
    bool open_ = true;     // guarded by state_->mutex
    std::mutex produceMutex_;
    LoopPlayer player_;
};

void LoopBackLocked(SimState& state, const OutDevice& out) {
    const InDevice* back = state.In(out.loopsTo);
    if (back == nullptr || out.records.empty()) {
        return;
    }
    const SentMessage& sent = out.records.back();
    const std::array<std::uint8_t, 3> bytes{StatusOf(sent.message), Data1Of(sent.message),
                                            Data2Of(sent.message)};
    const std::span<const std::uint8_t> message =
        sent.isLong ? std::span<const std::uint8_t>(sent.bytes)
                    : std::span<const std::uint8_t>(bytes).first(
                          static_cast<std::size_t>(std::max(1, ShortMessageBytes(bytes[0]))));
    for (SimInPort* port : back->ports) {
        port->Produce(message); // never blocks
    }
}

} // namespace

SimulatedService::SimulatedService(std::vector<std::string> outputNames,
                                   std::vector<std::string> inputNames)
    : state_(std::make_shared<detail::SimState>()) {
    for (std::string& name : outputNames) {
        state_->outs.emplace_back().name = std::move(name);
    }
    for (std::string& name : inputNames) {
        state_->ins.emplace_back().name = std::move(name);
    }
}

SimulatedService::~SimulatedService() {
    std::lock_guard lock(state_->mutex);
    state_->serviceAlive = false;
    for (InDevice& in : state_->ins) {
        for (SimInPort* port : in.ports) {
            port->StopPlayerSoon();
        }
    }
}

int SimulatedService::OutDeviceCount() {
    std::lock_guard lock(state_->mutex);
    return state_->running ? SimState::Count(state_->outs) : 0;
}

int SimulatedService::InDeviceCount() {
    std::lock_guard lock(state_->mutex);
    return state_->running ? SimState::Count(state_->ins) : 0;
}

std::optional<std::string> SimulatedService::OutDeviceName(int position) {
    std::lock_guard lock(state_->mutex);
    const int device = state_->running ? SimState::Listed(state_->outs, position) : -1;
    if (state_->FailsLocked(SimOp::OutCaps, device) || state_->Out(device) == nullptr) {
        return std::nullopt;
    }
    return state_->Out(device)->name;
}

std::optional<std::string> SimulatedService::InDeviceName(int position) {
    std::lock_guard lock(state_->mutex);
    const int device = state_->running ? SimState::Listed(state_->ins, position) : -1;
    if (state_->FailsLocked(SimOp::InCaps, device) || state_->In(device) == nullptr) {
        return std::nullopt;
    }
    return state_->In(device)->name;
}

std::unique_ptr<MidiOutPort> SimulatedService::OpenOut(const std::string& name) {
    std::lock_guard lock(state_->mutex);
    const int device = state_->running ? SimState::Named(state_->outs, name) : -1;
    OutDevice* out = state_->Out(device);
    if (state_->FailsLocked(SimOp::OpenOut, device) || out == nullptr) {
        return nullptr;
    }
    ++out->opens;
    ++out->openNow;
    return std::make_unique<SimOutPort>(state_, device, state_->nextPortId++,
                                        state_->wholeMessages);
}

namespace {

// A new port on input `device`, counted as open; the state's mutex is held.
std::unique_ptr<MidiInPort> OpenInLocked(const std::shared_ptr<SimState>& state, int device,
                                         InputCallback callback) {
    InDevice* in = state->In(device);
    auto port = std::make_unique<SimInPort>(state, device, state->nextPortId++, std::move(callback),
                                            state->inputQueueBytes);
    ++in->opens;
    ++in->openNow;
    in->ports.push_back(port.get());
    return port;
}

} // namespace

std::unique_ptr<MidiInPort> SimulatedService::OpenIn(const std::string& name,
                                                     InputCallback callback) {
    std::lock_guard lock(state_->mutex);
    const int device = state_->running ? SimState::Named(state_->ins, name) : -1;
    InDevice* in = state_->In(device);
    if (state_->FailsLocked(SimOp::OpenIn, device) || in == nullptr) {
        return nullptr;
    }
    return OpenInLocked(state_, device, std::move(callback));
}

bool SimulatedService::HasVirtualIn() const {
    std::lock_guard lock(state_->mutex);
    return state_->virtualIn;
}

std::unique_ptr<MidiInPort> SimulatedService::OpenVirtualIn(const std::string& name,
                                                            InputCallback callback) {
    std::lock_guard lock(state_->mutex);
    if (!state_->running || !state_->virtualIn || name.empty()) {
        return nullptr;
    }
    int device = state_->VirtualIn(name);
    if (device < 0) {
        InDevice& added = state_->ins.emplace_back();
        added.name = name;
        added.present = false;
        added.virtualPort = true;
        device = static_cast<int>(state_->ins.size() - 1);
    }
    if (state_->FailsLocked(SimOp::OpenIn, device)) {
        return nullptr;
    }
    return OpenInLocked(state_, device, std::move(callback));
}

void SimulatedService::OfferVirtualIn(bool offer) {
    std::lock_guard lock(state_->mutex);
    state_->virtualIn = offer;
    ++state_->listChanges;
}

int SimulatedService::VirtualInDevice(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    return state_->VirtualIn(name);
}

void SimulatedService::SetPresent(bool output, int device, bool present) {
    std::lock_guard lock(state_->mutex);
    ++state_->listChanges;
    if (output && state_->Out(device) != nullptr) {
        OutDevice& out = *state_->Out(device);
        out.departures += out.present && !present ? 1 : 0;
        out.present = present;
    } else if (!output && state_->In(device) != nullptr) {
        InDevice& in = *state_->In(device);
        if (in.present && !present) {
            ++in.departures;
            for (SimInPort* port : in.ports) {
                port->StopPlayerSoon(); // its performance ends with it
            }
        }
        in.present = present;
    }
}

void SimulatedService::SetWholeMessagesOnly(bool wholeMessages) {
    std::lock_guard lock(state_->mutex);
    state_->wholeMessages = wholeMessages;
}

void SimulatedService::SetRunning(bool running) {
    std::lock_guard lock(state_->mutex);
    state_->stops += state_->running && !running ? 1 : 0;
    state_->running = running;
    ++state_->listChanges;
}

bool SimulatedService::Running() const {
    std::lock_guard lock(state_->mutex);
    return state_->running;
}

std::optional<std::uint64_t> SimulatedService::DeviceListChanges() const {
    std::lock_guard lock(state_->mutex);
    const bool namesFail =
        std::any_of(state_->rules.begin(), state_->rules.end(), [](const auto& rule) {
            return rule.op == SimOp::OutCaps || rule.op == SimOp::InCaps;
        });
    return namesFail ? std::nullopt : std::optional<std::uint64_t>(state_->listChanges);
}

void SimulatedService::SetWayBack(const std::string& outDevice, const std::string& inDevice,
                                  WayBack wayBack) {
    std::lock_guard lock(state_->mutex);
    state_->waysBack[{outDevice, inDevice}] = wayBack;
}

MidiService::WayBack SimulatedService::WayBackBetween(const std::string& outDevice,
                                                      const std::string& inDevice) {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->waysBack.find({outDevice, inDevice});
    if (it != state_->waysBack.end()) {
        return it->second;
    }
    for (const OutDevice& out : state_->outs) {
        if (out.name == outDevice && out.loopsTo >= 0 &&
            state_->ins[static_cast<std::size_t>(out.loopsTo)].name == inDevice) {
            return WayBack::Possible;
        }
    }
    return WayBack::None;
}

void SimulatedService::SetLoopback(int outDevice, int inDevice) {
    std::lock_guard lock(state_->mutex);
    if (OutDevice* out = state_->Out(outDevice)) {
        out->loopsTo = state_->In(inDevice) != nullptr ? inDevice : -1;
    }
}

int SimulatedService::OutDeviceNumber(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    return SimState::Named(state_->outs, name);
}

int SimulatedService::InDeviceNumber(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    const int device = SimState::Named(state_->ins, name);
    return device >= 0 ? device : state_->VirtualIn(name);
}

void SimulatedService::FailNth(SimOp op, int nth, int device) {
    if (nth < 1) {
        return;
    }
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back(FailureRule{op, device, false, nth});
}

void SimulatedService::FailEvery(SimOp op, int device) {
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back(FailureRule{op, device, true, 0});
}

void SimulatedService::ClearFailures() {
    std::lock_guard lock(state_->mutex);
    state_->rules.clear();
}

void SimulatedService::ClearFailures(SimOp op) {
    std::lock_guard lock(state_->mutex);
    std::erase_if(state_->rules, [op](const FailureRule& rule) { return rule.op == op; });
}

std::uint64_t SimulatedService::Calls(SimOp op) const {
    std::lock_guard lock(state_->mutex);
    return state_->calls.at(static_cast<std::size_t>(op));
}

int SimulatedService::OutOpens(int device) const {
    std::lock_guard lock(state_->mutex);
    const OutDevice* out = state_->Out(device);
    return out ? out->opens : 0;
}

int SimulatedService::OutOpenNow(int device) const {
    std::lock_guard lock(state_->mutex);
    const OutDevice* out = state_->Out(device);
    return out ? out->openNow : 0;
}

int SimulatedService::InOpens(int device) const {
    std::lock_guard lock(state_->mutex);
    const InDevice* in = state_->In(device);
    return in ? in->opens : 0;
}

int SimulatedService::InOpenNow(int device) const {
    std::lock_guard lock(state_->mutex);
    const InDevice* in = state_->In(device);
    return in ? in->openNow : 0;
}

std::uint64_t SimulatedService::PortId(const MidiOutPort& port) {
    const auto* simulated = dynamic_cast<const SimOutPort*>(&port);
    return simulated ? simulated->Id() : 0;
}

std::uint64_t SimulatedService::PortId(const MidiInPort& port) {
    const auto* simulated = dynamic_cast<const SimInPort*>(&port);
    return simulated ? simulated->Id() : 0;
}

std::vector<SentMessage> SimulatedService::Sent(int device) const {
    std::lock_guard lock(state_->mutex);
    const OutDevice* out = state_->Out(device);
    return out ? std::vector<SentMessage>(out->records.begin(), out->records.end())
               : std::vector<SentMessage>{};
}

std::uint64_t SimulatedService::SentCount(int device) const {
    std::lock_guard lock(state_->mutex);
    const OutDevice* out = state_->Out(device);
    return out ? out->sent : 0;
}

std::uint64_t SimulatedService::DroppedRecords(int device) const {
    std::lock_guard lock(state_->mutex);
    const OutDevice* out = state_->Out(device);
    return out ? out->dropped : 0;
}

bool SimulatedService::WaitSent(int device, std::uint64_t count,
                                std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->sentChanged.wait_for(lock, timeout, [&] {
        const OutDevice* out = state_->Out(device);
        return out != nullptr && out->sent >= count;
    });
}

void SimulatedService::ClearSent(int device) {
    std::lock_guard lock(state_->mutex);
    if (OutDevice* out = state_->Out(device)) {
        out->records.clear();
        out->sent = 0;
        out->dropped = 0;
    }
}

void SimulatedService::SetRecordLimit(std::size_t perDevice) {
    std::lock_guard lock(state_->mutex);
    state_->recordLimit = perDevice;
    if (perDevice == 0) {
        return;
    }
    for (OutDevice& out : state_->outs) {
        while (out.records.size() > perDevice) {
            out.records.pop_front();
            ++out.dropped;
        }
    }
}

bool SimulatedService::InjectShort(int device, ShortMessage message) {
    const std::array<std::uint8_t, 3> bytes{StatusOf(message), Data1Of(message), Data2Of(message)};
    return InjectBytes(device,
                       std::span(bytes).first(static_cast<std::size_t>(
                           bytes[0] < 0x80 ? 3 : ShortMessageBytes(bytes[0])))); // odd ones whole
}

bool SimulatedService::InjectSysex(int device, std::span<const std::uint8_t> bytes) {
    return !bytes.empty() && bytes[0] == 0xF0 && InjectBytes(device, bytes);
}

bool SimulatedService::InjectBytes(int device, std::span<const std::uint8_t> bytes) {
    // The lock keeps the ports alive while they are fed; Produce never blocks.
    std::lock_guard lock(state_->mutex);
    const InDevice* in = state_->In(device);
    if (in == nullptr) {
        return false;
    }
    bool taken = false;
    for (SimInPort* port : in->ports) {
        taken = (!port->GoneLocked() && port->Produce(bytes)) || taken;
    }
    return taken;
}

bool SimulatedService::WaitIdle(int device, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        {
            std::lock_guard lock(state_->mutex);
            const InDevice* in = state_->In(device);
            if (in == nullptr) {
                return false;
            }
            if (std::all_of(in->ports.begin(), in->ports.end(),
                            [](const SimInPort* port) { return port->Idle(); })) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SimulatedService::SetPerformance(int device, LoopedPerformance performance) {
    auto shared = std::make_shared<const LoopedPerformance>(std::move(performance));
    std::lock_guard lock(state_->mutex);
    if (InDevice* in = state_->In(device)) {
        in->performance = std::move(shared);
    }
}

void SimulatedService::SetInputQueueBytes(std::size_t bytes) {
    std::lock_guard lock(state_->mutex);
    state_->inputQueueBytes = bytes;
}

} // namespace velmora::midi
