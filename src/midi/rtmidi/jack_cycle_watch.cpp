#include "midi/rtmidi/jack_cycle_watch.h"

#include <jack/jack.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "midi/jack/jack_graph.h"

namespace velmora::midi {

namespace {

std::string ServerName() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

// jack_client_open on a thread of its own, so that a server that does not
// answer is given up after a timeout; the thread closes what it opened late.
jack_client_t* OpenWithin(const std::string& name, std::chrono::milliseconds timeout,
                          std::string* why, bool* refused) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        jack_client_t* client = nullptr;
        int status = 0;
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread([attempt, name] {
        jack_status_t status{};
        jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
        std::unique_lock lock(attempt->mutex);
        if (attempt->abandoned) {
            lock.unlock();
            if (client != nullptr) {
                jack_client_close(client);
            }
            return;
        }
        attempt->client = client;
        attempt->status = status;
        attempt->finished = true;
        attempt->done.notify_all();
    }).detach();

    std::unique_lock lock(attempt->mutex);
    if (!attempt->done.wait_for(lock, timeout, [&] { return attempt->finished; })) {
        attempt->abandoned = true;
        *why = "the JACK server '" + ServerName() + "' does not answer";
        return nullptr;
    }
    if (attempt->client == nullptr) {
        if ((attempt->status & JackServerFailed) != 0) {
            *why = "no JACK server '" + ServerName() + "' is running";
        } else {
            char status[16];
            std::snprintf(status, sizeof status, "0x%x", static_cast<unsigned>(attempt->status));
            *why =
                "the JACK server '" + ServerName() + "' refused a client (status " + status + ")";
            *refused = true;
        }
    }
    return attempt->client;
}

} // namespace

std::shared_ptr<JackCycleWatch> JackCycleWatch::Open(const std::string& clientName,
                                                     std::chrono::milliseconds timeout,
                                                     std::string* why) {
    // A server whose graph is changing (a client of another program just
    // gone) can refuse a client that it takes a moment later.
    jack_client_t* client = nullptr;
    for (int attempt = 0; attempt < 3 && client == nullptr; ++attempt) {
        bool refused = false;
        client = OpenWithin(clientName, timeout, why, &refused);
        if (client == nullptr && !refused) {
            return nullptr;
        }
        if (client == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (client == nullptr) {
        return nullptr;
    }
    std::shared_ptr<JackCycleWatch> watch(new JackCycleWatch());
    watch->client_ = client;
    watch->cycles_.lastFrame = jack_last_frame_time(client);
    jack_on_shutdown(client, &JackCycleWatch::Shutdown, watch.get());
    return watch;
}

JackCycleWatch::~JackCycleWatch() {
    jack_client_close(static_cast<jack_client_t*>(client_));
}

// JACK's server keeps the frame time in memory its clients share, and it is
// read from there for a client never activated too: it moves on by a period
// each cycle and stands still while the server is stopped (checked on
// jackd 1.9). The period is read each time: another program may change it.
std::uint64_t JackCycleWatch::Cycles() const {
    auto* client = static_cast<jack_client_t*>(client_);
    std::lock_guard lock(countMutex_);
    return cycles_.Advance(jack_last_frame_time(client), jack_get_buffer_size(client));
}

void JackCycleWatch::Shutdown(void* self) {
    static_cast<JackCycleWatch*>(self)->running_.store(false, std::memory_order_release);
}

bool JackCycleWatch::WaitPast(std::uint64_t cycle, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Running() && Cycles() <= cycle) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    return Running();
}

std::vector<std::string> JackCycleWatch::MidiPorts(bool receiving) const {
    return JackMidiPorts(static_cast<jack_client_t*>(client_), receiving);
}

MidiGraph JackCycleWatch::Graph() const {
    return ReadJackGraph(static_cast<jack_client_t*>(client_));
}

std::vector<std::string> JackCycleWatch::Connections(const std::string& port) const {
    std::vector<std::string> names;
    auto* client = static_cast<jack_client_t*>(client_);
    const jack_port_t* found = jack_port_by_name(client, port.c_str());
    if (found == nullptr) {
        return names;
    }
    const char** ports = jack_port_get_all_connections(client, found);
    if (ports != nullptr) {
        for (const char** name = ports; *name != nullptr; ++name) {
            names.emplace_back(*name);
        }
        jack_free(static_cast<void*>(ports));
    }
    return names;
}

bool JackSendBudget::Take(std::size_t bytes) {
    if (!watch_->Running()) {
        return false;
    }
    const std::size_t cost = bytes + kEventOverhead;
    if (const std::uint64_t now = watch_->Cycles(); now != cycle_) {
        cycle_ = now;
        used_ = 0;
    }
    if (used_ > 0 && used_ + cost > kBytesPerCycle) {
        if (!watch_->WaitPast(cycle_, kStallTimeout)) {
            return false;
        }
        cycle_ = watch_->Cycles();
        used_ = 0;
    }
    used_ += cost;
    return true;
}

} // namespace velmora::midi
