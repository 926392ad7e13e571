#include "midi/jack/jack_client.h"

#include "midi/jack/jack_graph.h"

#include <jack/session.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>

namespace velmora::midi {

// One callback's stay behind the gate: the client, or nullptr once gone.
// Two atomic operations; no lock, no allocation (the real-time thread).
class JackClient::GateEntry {
  public:
    explicit GateEntry(void* gate) : gate_(*static_cast<CallbackGate*>(gate)) {
        gate_.inside.fetch_add(1, std::memory_order_seq_cst);
        client_ = gate_.client.load(std::memory_order_seq_cst);
    }
    ~GateEntry() { gate_.inside.fetch_sub(1, std::memory_order_release); }
    GateEntry(const GateEntry&) = delete;
    GateEntry& operator=(const GateEntry&) = delete;
    JackClient* client() const { return client_; }

  private:
    CallbackGate& gate_;
    JackClient* client_ = nullptr;
};

// The gates live as long as the program, reachable from here.
JackClient::CallbackGate* JackClient::NewGate(JackClient* client) {
    static auto* const mutex = new std::mutex;
    static auto* const gates = new std::deque<CallbackGate>;
    std::lock_guard lock(*mutex);
    CallbackGate& gate = gates->emplace_back();
    gate.client.store(client, std::memory_order_seq_cst);
    return &gate;
}

namespace {

constexpr auto kAnswerTimeout = std::chrono::seconds(5);
constexpr int kMaxNameNumber = 99;

std::string ServerName() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

std::string NumberedName(const std::string& base, int number) {
    if (number == 0) {
        return base;
    }
    char suffix[16]; // room for any int
    std::snprintf(suffix, sizeof suffix, "-%02d", number);
    return base + suffix;
}

// libjack prints why it refused a client name; while Velmora looks for a
// free one that is no error of the user's, so it is not shown.
std::atomic<int> quietOpens{0};

void PrintJackError(const char* text) {
    if (quietOpens.load(std::memory_order_acquire) == 0) {
        std::fprintf(stderr, "%s\n", text);
    }
}

struct OpenResult {
    jack_client_t* client = nullptr;
    jack_status_t status{};
    bool answered = false;
};

// Opens given up on that have not ended yet.
std::atomic<int> unansweredOpens{0};

// jack_client_open on a thread of its own, so that a server that does not
// answer is given up after a timeout; the thread closes what it opened late.
// While an open given up on still waits, the server is not asked again: a
// program that tries each second would otherwise wait the whole timeout
// each time, and gather threads.
OpenResult OpenWithin(const std::string& name, std::chrono::milliseconds timeout) {
    if (unansweredOpens.load(std::memory_order_acquire) > 0) {
        return {};
    }
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        OpenResult result;
    };
    auto attempt = std::make_shared<Attempt>();
    static std::once_flag installed;
    std::call_once(installed, [] { jack_set_error_function(&PrintJackError); });
    std::thread([attempt, name] {
        quietOpens.fetch_add(1, std::memory_order_acq_rel);
        jack_status_t status{};
        jack_client_t* client = jack_client_open(
            name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
            &status);
        quietOpens.fetch_sub(1, std::memory_order_acq_rel);
        std::unique_lock lock(attempt->mutex);
        if (attempt->abandoned) {
            lock.unlock();
            if (client != nullptr) {
                jack_client_close(client);
            }
            unansweredOpens.fetch_sub(1, std::memory_order_acq_rel);
            return;
        }
        attempt->result = {client, status, true};
        attempt->finished = true;
        attempt->done.notify_all();
    }).detach();
    std::unique_lock lock(attempt->mutex);
    if (!attempt->done.wait_for(lock, timeout, [&] { return attempt->finished; })) {
        attempt->abandoned = true;
        unansweredOpens.fetch_add(1, std::memory_order_acq_rel);
        return {};
    }
    return attempt->result;
}

// Stalled cycles for this long make the graph thread ask whether the server
// is still there.
constexpr auto kStallBeforeAsking = std::chrono::seconds(1);
constexpr auto kStallCheck = std::chrono::milliseconds(250);

// Whether the first client the server knows by `name` is `client`: jackd
// refuses a name in use, PipeWire gives it a second time. On the call thread.
bool NameIsOurs(jack_client_t* client, const std::string& name) {
    char* mine = jack_client_get_uuid(client);
    char* first = jack_get_uuid_for_client_name(client, name.c_str());
    const bool ours = mine == nullptr || first == nullptr || std::strcmp(mine, first) == 0;
    jack_free(mine);
    jack_free(first);
    return ours;
}

} // namespace

std::shared_ptr<JackClient> JackClient::Open(const std::string& base, std::string* why) {
    std::shared_ptr<JackClient> self;
    jack_client_t* client = nullptr;
    std::string name;
    int refusals = 0;
    for (int number = 0; number <= kMaxNameNumber && client == nullptr;) {
        name = NumberedName(base, number);
        const OpenResult result = OpenWithin(name, kAnswerTimeout);
        if (!result.answered) {
            *why = "the JACK server '" + ServerName() + "' does not answer";
            return nullptr;
        }
        client = result.client;
        if (client != nullptr) {
            self.reset(new JackClient(client));
            const std::optional<bool> ours =
                self->Ask([name](jack_client_t* handle) { return NameIsOurs(handle, name); });
            if (!ours) {
                *why = "the JACK server '" + ServerName() + "' does not answer";
                return nullptr;
            }
            if (*ours) {
                break;
            }
            self.reset(); // PipeWire lets a second client take a name: it closes
            client = nullptr;
            ++number;
            continue;
        }
        if ((result.status & JackServerFailed) != 0) {
            *why = "no JACK server '" + ServerName() + "' is running";
            return nullptr;
        }
        // jackd refuses a name in use with a plain failure, not
        // JackNameNotUnique: the next number then. A server whose graph is
        // changing can refuse a name that is free, too: that one is asked
        // again, twice.
        if ((result.status & JackNameNotUnique) == 0 && ++refusals < 3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        refusals = 0;
        ++number;
    }
    if (client == nullptr) {
        *why = "the JACK server '" + ServerName() + "' refused every client name from '" + base +
               "' to '" + NumberedName(base, kMaxNameNumber) + "'";
        return nullptr;
    }
    self->name_ = name; // exactly the name asked for, as the server took it
    JackClient* raw = self.get();
    self->gate_ = NewGate(raw);
    void* gate = self->gate_;
    jack_set_process_callback(client, &JackClient::Process, gate);
    // Both: jackd calls the one with a reason, PipeWire's libjack the other.
    jack_on_shutdown(client, &JackClient::PlainShutdown, gate);
    jack_on_info_shutdown(client, &JackClient::Shutdown, gate);
    jack_set_port_registration_callback(client, &JackClient::PortRegistered, gate);
    jack_set_port_connect_callback(client, &JackClient::PortConnected, gate);
    jack_set_client_registration_callback(client, &JackClient::ClientRegistered, gate);
    jack_set_port_rename_callback(client, &JackClient::PortRenamed, gate);
    jack_set_xrun_callback(client, &JackClient::XRun, gate);
    self->graphThread_ = std::thread([raw] { raw->GraphLoop(); });
    const std::optional<int> activated =
        self->Ask([](jack_client_t* handle) { return jack_activate(handle); });
    if (activated.value_or(-1) != 0) {
        *why = "the JACK server '" + ServerName() +
               (activated ? "' did not run Velmora's client" : "' does not answer");
        return nullptr; // the destructor closes it
    }
    return self;
}

JackClient::JackClient(jack_client_t* client)
    : client_(client), calls_(std::make_unique<JackCalls>(client)) {}

JackClient::~JackClient() {
    {
        std::lock_guard lock(graphMutex_);
        stopGraph_ = true;
    }
    graphCv_.notify_all();
    if (graphThread_.joinable()) {
        graphThread_.join();
    }
    // A client the server shut down stays open: once another client opened
    // on a server that came back, libjack's close of the dead one reads
    // memory it has freed (a crash). What it holds is small, once a server.
    // One given up on is closed by GiveUp's ask, if ever.
    Ask([](jack_client_t* handle) { return jack_client_close(handle); });
    // From now on libjack's calls find no client; those already inside end.
    if (gate_ != nullptr) {
        gate_->client.store(nullptr, std::memory_order_seq_cst);
        while (gate_->inside.load(std::memory_order_seq_cst) != 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

void JackClient::GiveUp() {
    running_.store(false, std::memory_order_release);
    NoteGraphChange();
    if (givenUp_.exchange(true)) {
        return;
    }
    // Should the server answer again (a jackd that was stopped with SIGSTOP
    // and continued), it would call this client back: the client stays
    // alive, held by this ask, until it is closed after the call that hung.
    // Its ports' workers are gone by then, so a cycle does nothing.
    // (Not while it is being destroyed: its own close was what hung.)
    if (std::shared_ptr<JackClient> self = weak_from_this().lock()) {
        calls_->Post([self](jack_client_t* handle) { jack_client_close(handle); });
    }
}

// The real-time thread: a walk over the table, no lock, no allocation.
int JackClient::Process(jack_nframes_t frames, void* self) {
    const GateEntry entry(self);
    JackClient* client = entry.client();
    if (client == nullptr) {
        return 0;
    }
    // Sequentially consistent with Remove's store and load: either Remove
    // sees this cycle begun, or this cycle sees the worker removed.
    client->cyclesStarted_.fetch_add(1, std::memory_order_seq_cst);
    if (client->missedCycles_.Missed(jack_last_frame_time(client->client_), frames)) {
        client->cycleGaps_.fetch_add(1, std::memory_order_acq_rel);
    }
    for (const bool inputs : {true, false}) {
        for (auto& slot : client->workers_) {
            JackPortWorker* worker = slot.load(std::memory_order_seq_cst);
            if (worker != nullptr && worker->ReadsInput() == inputs) {
                worker->Cycle(frames);
            }
        }
    }
    client->cycles_.fetch_add(1, std::memory_order_release);
    return 0;
}

// A request jackd's libjack passes to the server and waits for.
bool JackClient::Answers() {
    return Ask([name = name_](jack_client_t* handle) {
               jack_free(jack_get_uuid_for_client_name(handle, name.c_str()));
               return true;
           })
        .value_or(false);
}

void JackClient::Unregister(jack_port_t* port) {
    Ask([port](jack_client_t* handle) { return jack_port_unregister(handle, port); });
}

// The notification thread. A call waiting for the server now (one that is
// being stopped may never answer it) gives up at once; the client is never
// closed (see the destructor), so GiveUp is kept from closing it.
void JackClient::Shutdown(jack_status_t, const char*, void* self) {
    const GateEntry entry(self);
    JackClient* client = entry.client();
    if (client == nullptr) {
        return;
    }
    client->running_.store(false, std::memory_order_release);
    client->givenUp_.store(true, std::memory_order_release);
    client->calls_->Abandon();
    client->NoteGraphChange();
}

void JackClient::PlainShutdown(void* self) {
    Shutdown(JackFailure, "", self);
}

// On JACK's notification thread: one atomic count, nothing else.
int JackClient::XRun(void* self) {
    const GateEntry entry(self);
    if (JackClient* client = entry.client()) {
        client->lateCycles_.fetch_add(1, std::memory_order_acq_rel);
    }
    return 0;
}

void JackClient::PortRegistered(jack_port_id_t, int, void* self) {
    NoteGraphChangeThrough(self);
}

void JackClient::PortConnected(jack_port_id_t, jack_port_id_t, int, void* self) {
    NoteGraphChangeThrough(self);
}

void JackClient::ClientRegistered(const char*, int, void* self) {
    NoteGraphChangeThrough(self);
}

void JackClient::PortRenamed(jack_port_id_t, const char*, const char*, void* self) {
    NoteGraphChangeThrough(self);
}

void JackClient::NoteGraphChangeThrough(void* gate) {
    const GateEntry entry(gate);
    if (JackClient* client = entry.client()) {
        client->NoteGraphChange();
    }
}

// The notification thread: no call into the server from here.
void JackClient::NoteGraphChange() {
    graph_.fetch_add(1, std::memory_order_acq_rel);
    graphCv_.notify_all();
}

void JackClient::GraphLoop() {
    std::uint64_t cyclesSeen = Cycles();
    auto movedAt = std::chrono::steady_clock::now();
    std::unique_lock lock(graphMutex_);
    while (true) {
        graphCv_.wait_for(lock, kStallCheck, [this] {
            return stopGraph_ || graph_.load(std::memory_order_acquire) != graphSeen_;
        });
        if (stopGraph_) {
            return;
        }
        const bool changed = graph_.load(std::memory_order_acquire) != graphSeen_;
        graphSeen_ = graph_.load(std::memory_order_acquire);
        lock.unlock();
        // A server that runs no cycle for a while may be frozen (a jackd
        // stopped with SIGSTOP tells nobody): a question that needs its
        // answer finds out, within Ask's bound.
        const auto now = std::chrono::steady_clock::now();
        if (Cycles() != cyclesSeen) {
            cyclesSeen = Cycles();
            movedAt = now;
        } else if (Running() && now - movedAt >= kStallBeforeAsking) {
            Answers();
            movedAt = std::chrono::steady_clock::now();
        }
        if (changed && Running()) {
            std::lock_guard workers(workersMutex_);
            for (auto& slot : workers_) {
                if (JackPortWorker* worker = slot.load(std::memory_order_acquire)) {
                    worker->GraphChanged();
                }
            }
        }
        lock.lock();
    }
}

bool JackClient::Add(JackPortWorker* worker) {
    std::lock_guard lock(workersMutex_);
    for (auto& slot : workers_) {
        if (slot.load(std::memory_order_acquire) == nullptr) {
            slot.store(worker, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void JackClient::Remove(JackPortWorker* worker) {
    {
        std::lock_guard lock(workersMutex_);
        for (auto& slot : workers_) {
            if (slot.load(std::memory_order_acquire) == worker) {
                slot.store(nullptr, std::memory_order_seq_cst);
            }
        }
    }
    // A cycle that began before the store may still hold the worker.
    WaitCyclesInFlight();
}

// A cycle runs only our own code, which never blocks, so this ends soon also
// when the server died in the middle of a cycle.
void JackClient::WaitCyclesInFlight() const {
    const std::uint64_t begun = cyclesStarted_.load(std::memory_order_seq_cst);
    while (cycles_.load(std::memory_order_acquire) < begun) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

bool JackClient::WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const {
    const std::uint64_t target = Cycles() + count;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint64_t last = Cycles();
    while (Running() && Cycles() < target) {
        const std::uint64_t now = Cycles();
        if (now != last) {
            last = now;
            deadline = std::chrono::steady_clock::now() + timeout; // it moves: wait on
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    return Running();
}

std::vector<std::string> JackClient::MidiPorts(bool receiving) {
    return Ask([receiving](jack_client_t* handle) { return JackMidiPorts(handle, receiving); })
        .value_or(std::vector<std::string>{});
}

} // namespace velmora::midi
