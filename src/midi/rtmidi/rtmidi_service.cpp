#include "midi/rtmidi/rtmidi_service.h"

#include <RtMidi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#ifdef __linux__
#include <unistd.h>
#endif

#include "core/midi_stream.h"
#include "midi/port_names.h"
#include "midi/queued_midi_in.h"
#include "midi/sysex_assembler.h"
#ifdef VELMORA_HAVE_ALSA
#include "midi/rtmidi/alsa_graph.h"
#endif
#ifdef VELMORA_HAVE_JACK
#include "midi/rtmidi/jack_cycle_watch.h"
#include "midi/rtmidi/retired_jack_outputs.h"
#else
namespace velmora::midi {
class JackCycleWatch; // only ever null without JACK
}
#endif

namespace velmora::midi {

namespace {

// Sysex input buffers of RtMidi backends that need them (WinMM); the others
// grow their buffers as messages come.
constexpr unsigned kSysexBufferBytes = 64 * 1024;
constexpr unsigned kSysexBufferCount = 8;
// How long a JACK server may take to accept a client before it is given up.
constexpr auto kJackAnswerTimeout = std::chrono::seconds(5);

// Collects what RtMidi reports instead of throwing. Report runs on whatever
// thread called into RtMidi (the window's, the delivery thread sending thru)
// or on RtMidi's ALSA input thread, so the record is shared under a lock. It
// is never reached from JACK's process cycle: RtMidi's JACK callbacks report
// nothing, and our own input callback (OnMessage) only enqueues.
class ErrorSink {
  public:
    static void Report(RtMidiError::Type type, const std::string& text, void* self) {
        if (type == RtMidiError::DEBUG_WARNING) {
            return;
        }
        auto* sink = static_cast<ErrorSink*>(self);
        try {
            std::lock_guard lock(sink->mutex_);
            sink->last_ = text;
        } catch (...) {
        }
        sink->count_.fetch_add(1, std::memory_order_acq_rel);
    }

    std::uint64_t Count() const { return count_.load(std::memory_order_acquire); }
    std::string Last() const {
        std::lock_guard lock(mutex_);
        return last_;
    }

  private:
    std::atomic<std::uint64_t> count_{0};
    mutable std::mutex mutex_;
    std::string last_;
};

// Creates an RtMidi object that reports its errors to `sink`. Errors while
// it is being made can't reach the sink yet: RtMidi throws (caught here) or,
// for warnings, prints them; callers find those out on first use.
template <typename T>
std::unique_ptr<T> MakeClient(RtMidi::Api api, const std::string& clientName, ErrorSink& sink,
                              std::string* why) {
    try {
        auto client = std::make_unique<T>(api, clientName);
        client->setErrorCallback(&ErrorSink::Report, &sink);
        return client;
    } catch (const RtMidiError& e) {
        *why = e.getMessage();
    } catch (const std::exception& e) {
        *why = e.what();
    }
    return nullptr;
}

// Runs `op`; true when it neither threw nor reported an error to `sink`.
template <typename Op> bool Checked(ErrorSink& sink, Op&& op) {
    const std::uint64_t before = sink.Count();
    try {
        op();
    } catch (...) {
        return false;
    }
    return sink.Count() == before;
}

// The names of the own input ports (virtual ports) open now, so that the
// device lists leave them out.
class VirtualNames {
  public:
    void Add(const std::string& name) {
        std::lock_guard lock(mutex_);
        names_.insert(name);
    }
    void Remove(const std::string& name) {
        std::lock_guard lock(mutex_);
        if (const auto it = names_.find(name); it != names_.end()) {
            names_.erase(it);
        }
    }
    bool Holds(const std::string& portName) const {
        std::lock_guard lock(mutex_);
        return std::any_of(names_.begin(), names_.end(), [&](const std::string& client) {
            return IsPortOfClient(portName, client);
        });
    }

  private:
    mutable std::mutex mutex_;
    std::multiset<std::string> names_;
};

// Holds one virtual name for the life of a port.
class VirtualNameLease {
  public:
    VirtualNameLease(std::shared_ptr<VirtualNames> names, std::string name)
        : names_(std::move(names)), name_(std::move(name)) {
        names_->Add(name_);
    }
    ~VirtualNameLease() { names_->Remove(name_); }
    VirtualNameLease(const VirtualNameLease&) = delete;
    VirtualNameLease& operator=(const VirtualNameLease&) = delete;

  private:
    std::shared_ptr<VirtualNames> names_;
    std::string name_;
};

// Where `name` is in the device list `client` sees now; -1 when it is gone.
template <typename T> int FindPort(ErrorSink& sink, T& client, const std::string& name) {
    unsigned count = 0;
    if (!Checked(sink, [&] { count = client.getPortCount(); })) {
        return -1;
    }
    for (unsigned i = 0; i < count; ++i) {
        std::string candidate;
        if (Checked(sink, [&] { candidate = client.getPortName(i); }) && candidate == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Opens the device named `expectedName` on `client` (a new RtMidi object
// when null). Device numbers are positions in a list that other clients
// change by adding or removing ports: the name decides.
template <typename T>
bool OpenPortOn(std::unique_ptr<T>& client, RtMidi::Api api, const std::string& clientName,
                ErrorSink& sink, const std::string& expectedName, const std::string& portName,
                const std::function<void(T&)>& setup) {
    std::string why;
    if (client) {
        client->setErrorCallback(&ErrorSink::Report, &sink);
    } else {
        client = MakeClient<T>(api, clientName, sink, &why);
    }
    if (!client || !Checked(sink, [&] { setup(*client); })) {
        return false;
    }
    // The list may change between the look-up and the open: then again.
    constexpr int kAttempts = 5;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int number = FindPort(sink, *client, expectedName);
        if (number < 0) {
            return false; // the device is gone
        }
        const auto unsignedNumber = static_cast<unsigned>(number);
        std::string opened;
        if (Checked(sink, [&] { client->openPort(unsignedNumber, portName); }) &&
            Checked(sink, [&] { opened = client->getPortName(unsignedNumber); }) &&
            opened == expectedName) {
            return true;
        }
        Checked(sink, [&] { client->closePort(); });
    }
    return false;
}

// A JACK connection made when a port opens takes effect in a later cycle of
// the server: what goes out or comes in before that is lost. So an open
// returns once two more cycles have begun (a few milliseconds); an output
// waits as long before it closes, for its last messages.
void WaitForTheGraph(const std::shared_ptr<JackCycleWatch>& watch) {
#ifdef VELMORA_HAVE_JACK
    if (watch) {
        watch->WaitPast(watch->Cycles() + 1, std::chrono::seconds(1));
    }
#else
    (void)watch;
#endif
}

// Tells when the device behind a JACK port has gone: the connection made at
// the open is there no more. A device that leaves and comes back (a client
// restarted) has a port of the same name, but nothing connects it to ours
// again. Knows the connection by the ports connected to the device just
// before and just after the open: Velmora's own port's name is JACK's to
// choose ("Velmora in-01" when another program holds "Velmora in").
class JackConnectionWatch {
  public:
    // Before the open.
    void Begin(const std::shared_ptr<JackCycleWatch>& watch, const std::string& device) {
#ifdef VELMORA_HAVE_JACK
        watch_ = watch;
        device_ = device;
        if (watch_) {
            before_ = watch_->Connections(device);
        }
#else
        (void)watch;
        (void)device;
#endif
    }
    // After a successful open, once the graph has taken the connection.
    void Opened() {
#ifdef VELMORA_HAVE_JACK
        if (!watch_) {
            return;
        }
        for (std::string& name : watch_->Connections(device_)) {
            if (std::find(before_.begin(), before_.end(), name) == before_.end()) {
                own_.push_back(std::move(name));
            }
        }
        before_.clear();
#endif
    }
    // Any thread; a few calls into libjack, never on the real-time thread.
    bool Gone() const {
#ifdef VELMORA_HAVE_JACK
        if (!watch_) {
            return false;
        }
        if (!watch_->Running()) {
            return true;
        }
        if (own_.empty()) {
            return false; // the connection was never seen: nothing to tell by
        }
        const std::vector<std::string> now = watch_->Connections(device_);
        return std::none_of(own_.begin(), own_.end(), [&](const std::string& name) {
            return std::find(now.begin(), now.end(), name) != now.end();
        });
#else
        return false;
#endif
    }

  private:
    std::shared_ptr<JackCycleWatch> watch_;
    std::string device_;
    std::vector<std::string> before_;
    std::vector<std::string> own_; // the ports of ours that the open connected
};

class RtMidiOutPort final : public MidiOutPort {
  public:
#ifdef VELMORA_HAVE_JACK
    // A JACK output (`watch` set) passes on every block of a long message as
    // it comes, paced by the server's cycles; the other backends take only
    // whole messages.
    RtMidiOutPort(std::shared_ptr<JackCycleWatch> watch, std::shared_ptr<PortNames> names)
        : assembler_(watch ? SysexAssembler::Mode::Blocks : SysexAssembler::Mode::WholeMessages),
          lease_(std::in_place, std::move(names), PortNames::Kind::Out) {
        if (watch) {
            watch_ = watch;
            budget_.emplace(std::move(watch));
        }
    }
#else
    explicit RtMidiOutPort(std::shared_ptr<PortNames> names)
        : assembler_(SysexAssembler::Mode::WholeMessages),
          lease_(std::in_place, std::move(names), PortNames::Kind::Out) {}
#endif
    ~RtMidiOutPort() override {
        Close();
    }

    bool Open(RtMidi::Api api, const std::string& clientBase, const std::string& deviceName) {
        const std::string portName = lease_->PortName();
        clientName_ = clientBase + " " + portName;
        std::unique_ptr<RtMidiOut> out;
#ifdef VELMORA_HAVE_JACK
        out = TakeRetiredJackOutput(watch_, clientName_);
#endif
        connection_.Begin(watch_, deviceName);
        if (OpenPortOn<RtMidiOut>(out, api, clientName_, sink_, deviceName, portName,
                                  [](RtMidiOut&) {})) {
            WaitForTheGraph(watch_);
            connection_.Opened();
        } else {
            Dispose(std::move(out));
        }
        std::lock_guard lock(mutex_);
        out_ = std::move(out);
        return out_ != nullptr;
    }

    bool SendShort(ShortMessage message) override {
        const std::array<std::uint8_t, 3> bytes{StatusOf(message), Data1Of(message),
                                                Data2Of(message)};
        const auto length = static_cast<std::size_t>(ShortMessageBytes(bytes[0]));
        if (length == 0) {
            return false;
        }
        std::lock_guard lock(mutex_);
        return SendLocked(std::span(bytes).first(length));
    }

    bool SendLong(std::span<const std::uint8_t> bytes) override {
        std::lock_guard lock(mutex_);
        if (!out_) {
            return false;
        }
        try {
            return assembler_.Send(bytes, [this](std::span<const std::uint8_t> message) {
                return SendLocked(message);
            });
        } catch (...) {
            assembler_.Clear();
            return false;
        }
    }

    std::uint64_t UnsentBytes() const override {
        std::lock_guard lock(mutex_);
        return assembler_.Unsent();
    }
    std::size_t HeldBytes() const override {
        std::lock_guard lock(mutex_);
        return assembler_.HeldBytes();
    }
    void DropHeld() override {
        std::lock_guard lock(mutex_);
        assembler_.DropHeld();
    }

    // Ends what the receiver may still sound: All Notes Off and the sustain
    // pedal up on every channel. Sending is best effort; a reset of an open
    // port succeeds.
    bool Reset() override {
        std::lock_guard lock(mutex_);
        if (!out_) {
            return false;
        }
        assembler_.Clear();
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            const std::uint8_t status = 0xB0 | channel;
            SendLocked(std::array<std::uint8_t, 3>{status, 64, 0});
            SendLocked(std::array<std::uint8_t, 3>{status, 123, 0});
        }
        return true;
    }

    bool Gone() const override {
        return connection_.Gone();
    }

    bool Close() override {
        std::unique_ptr<RtMidiOut> out;
        {
            std::lock_guard lock(mutex_);
            out = std::move(out_);
            assembler_.Clear();
        }
        if (!out) {
            return false;
        }
        // Outside the lock: closing a JACK port waits for the last messages
        // to go out, and senders meanwhile just fail. Two more cycles first,
        // so that what was handed over last has left the client's queue even
        // when the server runs late.
        WaitForTheGraph(watch_);
        try {
            out->closePort();
        } catch (...) {
        }
        Dispose(std::move(out));
        lease_.reset(); // the port name is free again
        return true;
    }

  private:
    // A JACK output goes a while later (see retired_jack_outputs.h); any
    // other at once.
    void Dispose(std::unique_ptr<RtMidiOut> out) {
#ifdef VELMORA_HAVE_JACK
        if (out && watch_) {
            RetireJackOutput(watch_, clientName_, std::move(out));
            return;
        }
#endif
        try {
            out.reset();
        } catch (...) {
        }
    }

    bool SendLocked(std::span<const std::uint8_t> message) {
        if (!out_) {
            return false;
        }
#ifdef VELMORA_HAVE_JACK
        if (budget_ && !budget_->Take(message.size())) {
            return false; // the server is gone or stalled: don't wait on it
        }
#endif
        return Checked(sink_, [&] { out_->sendMessage(message.data(), message.size()); });
    }

    ErrorSink sink_;                        // outlives out_
    std::shared_ptr<JackCycleWatch> watch_; // JACK only
    std::string clientName_;                // its RtMidi client's, set by Open
    JackConnectionWatch connection_;        // set by Open
    mutable std::mutex mutex_;
    std::unique_ptr<RtMidiOut> out_; // guarded by mutex_; null once closed
    SysexAssembler assembler_;       // guarded by mutex_
#ifdef VELMORA_HAVE_JACK
    std::optional<JackSendBudget> budget_; // guarded by mutex_
#endif
    std::optional<PortNames::Lease> lease_; // released by the Close that closed the port
};

class RtMidiInPort final : public QueuedMidiIn {
  public:
    RtMidiInPort(InputCallback callback, std::shared_ptr<PortNames> names,
                 std::shared_ptr<JackCycleWatch> watch)
        : QueuedMidiIn(std::move(callback)), watch_(std::move(watch)),
          lease_(std::in_place, std::move(names), PortNames::Kind::In) {}
    // Velmora's own port `name`: left out of the device lists while it is open.
    RtMidiInPort(InputCallback callback, std::shared_ptr<VirtualNames> virtualNames,
                 const std::string& name)
        : QueuedMidiIn(std::move(callback)),
          virtualLease_(std::in_place, std::move(virtualNames), name) {}

    ~RtMidiInPort() override {
        StopProducer();
        StopDelivery({}); // before the members the callback may still use go away
    }

    bool Open(RtMidi::Api api, const std::string& clientBase, const std::string& deviceName) {
        const std::string portName = lease_->PortName();
        std::unique_ptr<RtMidiIn> in;
        connection_.Begin(watch_, deviceName);
        if (!OpenPortOn<RtMidiIn>(in, api, clientBase + " " + portName, sink_, deviceName, portName,
                                  [this](RtMidiIn& rt) { Setup(rt); })) {
            in.reset();
        }
        if (in) {
            WaitForTheGraph(watch_);
            connection_.Opened();
        }
        return Keep(std::move(in));
    }

    // Makes the port `name` of a client `name` (JACK adds "-01" to a client
    // name already taken; ALSA keeps both): "name:name" to other programs.
    bool OpenVirtual(RtMidi::Api api, const std::string& name) {
        std::string why;
        std::unique_ptr<RtMidiIn> in = MakeClient<RtMidiIn>(api, name, sink_, &why);
        if (in && !Checked(sink_, [&] {
                Setup(*in);
                in->openVirtualPort(name);
            })) {
            in.reset();
        }
        return Keep(std::move(in));
    }

    bool Gone() const override { return connection_.Gone(); }

  protected:
    void StopProducer() override {
        std::lock_guard lock(producerMutex_);
        accepting_.store(false, std::memory_order_release);
        if (!in_) {
            return;
        }
        // Destroying the RtMidiIn closes its client, which stops RtMidi's
        // input thread or JACK process callback: no call of OnMessage after.
        try {
            in_->closePort();
        } catch (...) {
        }
        in_.reset();
        lease_.reset(); // the port name is free again
        virtualLease_.reset();
    }

  private:
    void Setup(RtMidiIn& rt) {
        rt.ignoreTypes(false, false, false); // sysex, timing and active sensing too
        rt.setBufferSize(kSysexBufferBytes, kSysexBufferCount);
        rt.setCallback(&RtMidiInPort::OnMessage, this);
    }

    bool Keep(std::unique_ptr<RtMidiIn> in) {
        std::lock_guard lock(producerMutex_);
        in_ = std::move(in);
        accepting_.store(in_ != nullptr, std::memory_order_release);
        return in_ != nullptr;
    }

    // RtMidi's callback, on its input thread or inside the JACK process
    // cycle: hands the message over and returns, never blocking.
    static void OnMessage(double, std::vector<unsigned char>* message, void* self) {
        auto* port = static_cast<RtMidiInPort*>(self);
        if (message == nullptr || message->empty() ||
            !port->accepting_.load(std::memory_order_acquire)) {
            return;
        }
        // RtMidi's JACK input appends what other sources play during a sysex
        // message to it: cut it back into the messages it holds, in place.
        const std::size_t dropped =
            SplitMidiBytes(std::span<std::uint8_t>(message->data(), message->size()),
                           [port](std::span<const std::uint8_t> one) { port->Enqueue(one); });
        if (dropped > 0) {
            port->NoteDropped(dropped);
        }
    }

    ErrorSink sink_;                        // outlives in_
    std::shared_ptr<JackCycleWatch> watch_; // JACK only
    JackConnectionWatch connection_;        // set by Open
    std::atomic<bool> accepting_{false};
    std::mutex producerMutex_;
    std::unique_ptr<RtMidiIn> in_;                 // guarded by producerMutex_
    std::optional<PortNames::Lease> lease_;        // guarded by producerMutex_
    std::optional<VirtualNameLease> virtualLease_; // guarded by producerMutex_
};

bool AlsaSequencerPresent(std::string* why) {
#ifdef __linux__
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        *why = std::string("no ALSA sequencer (/dev/snd/seq: ") + std::strerror(errno) + ")";
        return false;
    }
#else
    (void)why;
#endif
    return true;
}

std::vector<RtMidi::Api> UsableApis() {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::erase(apis, RtMidi::RTMIDI_DUMMY);
    return apis;
}

} // namespace

struct RtMidiService::State {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::string clientBase;
    std::shared_ptr<PortNames> names = std::make_shared<PortNames>();
    std::shared_ptr<VirtualNames> virtualNames = std::make_shared<VirtualNames>();
#ifdef VELMORA_HAVE_JACK
    std::shared_ptr<JackCycleWatch> jackWatch; // set for the JACK API
#endif
#ifdef VELMORA_HAVE_ALSA
    std::unique_ptr<AlsaGraphReader> alsaGraph; // set for the ALSA API
#endif

    // False once the JACK server has gone away. Then nothing may open a JACK
    // client any more: libjack would free the clients RtMidi still holds.
    bool ServerRunning() const {
#ifdef VELMORA_HAVE_JACK
        return !jackWatch || jackWatch->Running();
#else
        return true;
#endif
    }

    std::mutex listMutex;
    ErrorSink listInSink; // outlive listIn and listOut
    ErrorSink listOutSink;
    std::unique_ptr<RtMidiIn> listIn; // none under JACK: the watch client lists the ports
    std::unique_ptr<RtMidiOut> listOut;
};

namespace {

// Velmora's own ports, never listed: every Velmora's, and own input ports
// open now under any name.
bool IsOwnOf(const RtMidiService::State& state, const std::string& name) {
    return IsOwnPortName(name, state.clientBase) || state.virtualNames->Holds(name);
}

// The names `client` lists now, Velmora's own ports left out.
template <typename T, typename Own>
std::vector<std::string> ListedNames(std::mutex& mutex, ErrorSink& sink, T& client,
                                     const Own& isOwn) {
    std::lock_guard lock(mutex);
    std::vector<std::string> names;
    unsigned count = 0;
    if (!Checked(sink, [&] { count = client.getPortCount(); })) {
        return names;
    }
    for (unsigned i = 0; i < count; ++i) {
        std::string name;
        if (!Checked(sink, [&] { name = client.getPortName(i); })) {
            name.clear(); // listed, but its capabilities can't be read
        }
        if (!isOwn(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::optional<std::string> NameAt(const std::vector<std::string>& names, int device) {
    if (device < 0 || device >= static_cast<int>(names.size()) ||
        names[static_cast<std::size_t>(device)].empty()) {
        return std::nullopt;
    }
    return names[static_cast<std::size_t>(device)];
}

std::unique_ptr<MidiService> TryApi(RtMidi::Api api, const std::string& clientBase,
                                    std::string* why) {
    if (api == RtMidi::LINUX_ALSA && !AlsaSequencerPresent(why)) {
        return nullptr;
    }
    auto state = std::make_unique<RtMidiService::State>();
    if (api == RtMidi::UNIX_JACK) {
        // Also tells whether a server runs, without starting one or waiting
        // on one that does not answer.
#ifdef VELMORA_HAVE_JACK
        state->jackWatch = JackCycleWatch::Open(clientBase + " watch", kJackAnswerTimeout, why);
        if (!state->jackWatch) {
            return nullptr;
        }
#else
        *why = "this build of Velmora has no JACK support";
        return nullptr;
#endif
    }
    state->api = api;
    state->clientBase = clientBase;
#ifdef VELMORA_HAVE_JACK
    if (api == RtMidi::UNIX_JACK) {
        // The watch client lists the ports: an RtMidi client kept for listing
        // would run a process thread every cycle for nothing.
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) {
            *why = "this build of RtMidi has no JACK support";
            return nullptr;
        }
        return std::make_unique<RtMidiService>(std::move(state));
    }
#endif
#ifdef VELMORA_HAVE_ALSA
    if (api == RtMidi::LINUX_ALSA) {
        state->alsaGraph = std::make_unique<AlsaGraphReader>(clientBase + " graph");
    }
#endif
    state->listIn = MakeClient<RtMidiIn>(api, clientBase + " list in", state->listInSink, why);
    if (!state->listIn) {
        return nullptr;
    }
    state->listOut = MakeClient<RtMidiOut>(api, clientBase + " list out", state->listOutSink, why);
    if (!state->listOut) {
        return nullptr;
    }
    // A failure while RtMidi set up its client shows up on first use.
    if (!Checked(state->listInSink, [&] { state->listIn->getPortCount(); })) {
        *why = state->listInSink.Last();
        return nullptr;
    }
    if (!Checked(state->listOutSink, [&] { state->listOut->getPortCount(); })) {
        *why = state->listOutSink.Last();
        return nullptr;
    }
    return std::make_unique<RtMidiService>(std::move(state));
}

} // namespace

RtMidiService::RtMidiService(std::unique_ptr<State> state) : state_(std::move(state)) {}

RtMidiService::~RtMidiService() = default;

std::string RtMidiService::Name() const {
    try {
        return RtMidi::getApiName(state_->api);
    } catch (...) {
        return {};
    }
}

bool IsPortOfClient(const std::string& name, const std::string& client) {
    if (client.empty() || name.rfind(client, 0) != 0) {
        return false;
    }
    std::size_t i = client.size();
    if (i < name.size() && name[i] == '-') {
        const std::size_t start = ++i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9') {
            ++i;
        }
        if (i == start) {
            return false;
        }
    }
    return i < name.size() && name[i] == ':';
}

std::string OwnInputName(const std::string& clientBase) {
    return clientBase + " Monitor";
}

bool IsOwnPortName(const std::string& name, const std::string& clientBase) {
    if (IsPortOfClient(name, OwnInputName(clientBase))) {
        return true; // the window's own input port, of this or another Velmora
    }
    // clientBase + " in" or " out", then " N", then "-NN", then ":".
    for (const char* kind : {" in", " out"}) {
        const std::string prefix = clientBase + kind;
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        std::size_t i = prefix.size();
        auto digits = [&] {
            const std::size_t start = i;
            while (i < name.size() && name[i] >= '0' && name[i] <= '9') {
                ++i;
            }
            return i > start;
        };
        if (i < name.size() && name[i] == ' ') {
            ++i;
            if (!digits()) {
                continue;
            }
        }
        if (i < name.size() && name[i] == '-') {
            ++i;
            if (!digits()) {
                continue;
            }
        }
        if (i < name.size() && name[i] == ':') {
            return true;
        }
    }
    return false;
}

bool RtMidiService::Running() const {
    return state_->ServerRunning();
}

// The devices listed now on one side; none with the server gone, so that
// OpenOut and OpenIn find none either.
std::vector<std::string> RtMidiService::Listed(bool output) {
    if (!state_->ServerRunning()) {
        return {};
    }
    const auto isOwn = [this](const std::string& name) { return IsOwnOf(*state_, name); };
#ifdef VELMORA_HAVE_JACK
    if (state_->jackWatch) {
        std::vector<std::string> names = state_->jackWatch->MidiPorts(output);
        std::erase_if(names, isOwn);
        return names;
    }
#endif
    return output ? ListedNames(state_->listMutex, state_->listOutSink, *state_->listOut, isOwn)
                  : ListedNames(state_->listMutex, state_->listInSink, *state_->listIn, isOwn);
}

int RtMidiService::OutDeviceCount() {
    return static_cast<int>(Listed(true).size());
}

std::optional<std::string> RtMidiService::OutDeviceName(int device) {
    return NameAt(Listed(true), device);
}

int RtMidiService::InDeviceCount() {
    return static_cast<int>(Listed(false).size());
}

std::optional<std::string> RtMidiService::InDeviceName(int device) {
    return NameAt(Listed(false), device);
}

namespace {

// A port of ours on the device listed under `name`, made by `make`; nullptr
// when the service stopped, the name is one of ours, or the back end refuses.
template <typename Make>
auto OpenListed(const RtMidiService::State& state, const std::string& name, Make make)
    -> decltype(make()) {
    try {
        if (!state.ServerRunning() || name.empty() || IsOwnOf(state, name)) {
            return nullptr;
        }
        auto port = make();
        if (!port->Open(state.api, state.clientBase, name)) {
            return nullptr;
        }
        return port;
    } catch (...) {
        return nullptr;
    }
}

} // namespace

std::unique_ptr<MidiOutPort> RtMidiService::OpenOut(const std::string& name) {
    return OpenListed(*state_, name, [&]() -> std::unique_ptr<RtMidiOutPort> {
#ifdef VELMORA_HAVE_JACK
        return std::make_unique<RtMidiOutPort>(state_->jackWatch, state_->names);
#else
        return std::make_unique<RtMidiOutPort>(state_->names);
#endif
    });
}

std::unique_ptr<MidiInPort> RtMidiService::OpenIn(const std::string& name, InputCallback callback) {
    return OpenListed(*state_, name, [&]() -> std::unique_ptr<RtMidiInPort> {
#ifdef VELMORA_HAVE_JACK
        return std::make_unique<RtMidiInPort>(std::move(callback), state_->names,
                                              state_->jackWatch);
#else
        return std::make_unique<RtMidiInPort>(std::move(callback), state_->names, nullptr);
#endif
    });
}

bool RtMidiService::HasVirtualIn() const {
    // RtMidi makes virtual ports on ALSA, JACK and CoreMIDI, not on WinMM.
    return state_->api == RtMidi::LINUX_ALSA || state_->api == RtMidi::UNIX_JACK ||
           state_->api == RtMidi::MACOSX_CORE;
}

std::unique_ptr<MidiInPort> RtMidiService::OpenVirtualIn(const std::string& name,
                                                         InputCallback callback) {
    try {
        if (!state_->ServerRunning() || !HasVirtualIn() || name.empty()) {
            return nullptr;
        }
        auto port = std::make_unique<RtMidiInPort>(std::move(callback), state_->virtualNames, name);
        if (!port->OpenVirtual(state_->api, name)) {
            return nullptr;
        }
        return port;
    } catch (...) {
        return nullptr;
    }
}

namespace {

// Velmora's ports (every Velmora's) as one node: what one of its inputs
// receives, thru and the router may send out of any of its outputs.
constexpr const char* kVelmoraNode = "\x01Velmora";

} // namespace

MidiService::WayBack RtMidiService::WayBackBetween(const std::string& outDevice,
                                                   const std::string& inDevice) {
    if (!state_->ServerRunning()) {
        return WayBack::None; // nothing flows any more
    }
    std::optional<MidiGraph> graph;
    std::string sendingSide; // what tells a port's sending side from its receiving one
#ifdef VELMORA_HAVE_JACK
    if (state_->jackWatch) {
        graph = state_->jackWatch->Graph();
    }
#endif
#ifdef VELMORA_HAVE_ALSA
    if (state_->alsaGraph) {
        graph = state_->alsaGraph->Read();
        sendingSide = " >";
    }
#endif
    if (!graph) {
        return WayBack::Unknown; // CoreMIDI, WinMM: the graph is not ours to see
    }
    std::vector<std::string> to;
    bool outListed = false;
    for (MidiGraph::Port& port : graph->ports) {
        if (IsOwnOf(*state_, port.name)) {
            port.node = kVelmoraNode;
        }
        if (port.sends && port.name == inDevice + sendingSide) {
            to.push_back(port.name);
        } else if (!port.sends && port.name == outDevice) {
            outListed = true;
        } else if (!port.sends && IsPortOfClient(port.name, inDevice) &&
                   state_->virtualNames->Holds(port.name)) {
            to.push_back(port.name); // an own input port: whatever reaches it
        }
    }
    if (!outListed || to.empty()) {
        return WayBack::Unknown; // not in the graph as listed: can't tell
    }
    graph->nodes[kVelmoraNode] = MidiGraph::Node::PassThrough;
    return FindWayBack(*graph, {outDevice}, to);
}

std::unique_ptr<MidiService> CreateRtMidiService(const std::string& api, std::string* error,
                                                 const std::string& clientName) {
    std::string reasons;
    try {
        std::vector<RtMidi::Api> candidates;
        const std::vector<RtMidi::Api> usable = UsableApis();
        if (api.empty()) {
            candidates = usable;
        } else {
            const RtMidi::Api wanted = RtMidi::getCompiledApiByName(api);
            if (std::find(usable.begin(), usable.end(), wanted) == usable.end()) {
                std::string known;
                for (RtMidi::Api a : usable) {
                    known += (known.empty() ? "" : ", ") + RtMidi::getApiName(a);
                }
                if (error != nullptr) {
                    *error = "unknown MIDI API '" + api + "' (this build has: " + known + ")";
                }
                return nullptr;
            }
            candidates.push_back(wanted);
        }
        for (RtMidi::Api candidate : candidates) {
            std::string why;
            if (auto service = TryApi(candidate, clientName, &why)) {
                return service;
            }
            reasons += (reasons.empty() ? "" : "; ") + RtMidi::getApiName(candidate) + ": " + why;
        }
        if (candidates.empty()) {
            reasons = "RtMidi was built without any MIDI API";
        }
    } catch (const std::exception& e) {
        reasons += (reasons.empty() ? "" : "; ") + std::string(e.what());
    } catch (...) {
        reasons += (reasons.empty() ? "" : "; ") + std::string("unexpected error");
    }
    if (error != nullptr) {
        *error = "no MIDI service could be opened (" + reasons + ")";
    }
    return nullptr;
}

} // namespace velmora::midi
