#include "midi/jack/jack_calls.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace velmora::midi {

namespace {

struct Job {
    std::function<void(jack_client_t*)> ask;
    bool finished = false; // guarded by State::mutex
};

} // namespace

// Shared by JackCalls and its call thread, so that a thread left behind in a
// call never touches freed memory.
struct JackCalls::State {
    jack_client_t* handle = nullptr;
    std::mutex mutex;
    std::condition_variable work;           // the call thread waits for an ask
    std::condition_variable finished;       // callers wait for theirs
    std::deque<std::shared_ptr<Job>> queue; // guarded by mutex
    bool stop = false;                      // guarded by mutex
    bool exited = false;                    // guarded by mutex
    std::atomic<bool> answered{true};
    std::thread thread; // JackCalls' alone

    void Loop() {
        std::unique_lock lock(mutex);
        while (true) {
            work.wait(lock, [this] { return stop || !queue.empty(); });
            if (queue.empty()) {
                exited = true;
                finished.notify_all();
                return;
            }
            std::shared_ptr<Job> job = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            try {
                job->ask(handle);
            } catch (...) { // the caller gets nothing, which it takes as a failure
            }
            job->ask = nullptr; // what it holds goes here, not under the lock
            lock.lock();
            job->finished = true;
            finished.notify_all();
        }
    }
};

JackCalls::JackCalls(jack_client_t* handle) : state_(std::make_shared<State>()) {
    state_->handle = handle;
    state_->thread = std::thread([state = state_] { state->Loop(); });
}

JackCalls::~JackCalls() {
    std::unique_lock lock(state_->mutex);
    state_->stop = true;
    state_->work.notify_all();
    // The last owner of a client can be an ask of its own (jack_client.cpp):
    // the thread then ends by itself.
    const bool own = std::this_thread::get_id() == state_->thread.get_id();
    const bool ended = !own && Answered() && state_->finished.wait_for(lock, kAnswerBound, [this] {
        return state_->exited;
    });
    lock.unlock();
    if (ended) {
        state_->thread.join();
    } else {
        state_->thread.detach(); // it holds the state and a handle that is never closed
    }
}

void JackCalls::Abandon() {
    std::lock_guard lock(state_->mutex);
    state_->answered.store(false, std::memory_order_release);
    state_->finished.notify_all();
}

bool JackCalls::Answered() const {
    return state_->answered.load(std::memory_order_acquire);
}

void JackCalls::Post(std::function<void(jack_client_t*)> ask) {
    auto job = std::make_shared<Job>();
    job->ask = std::move(ask);
    std::lock_guard lock(state_->mutex);
    state_->queue.push_back(std::move(job));
    state_->work.notify_one();
}

bool JackCalls::RunErased(std::function<void(jack_client_t*)> ask) {
    if (!Answered()) {
        return false;
    }
    auto job = std::make_shared<Job>();
    job->ask = std::move(ask);
    std::unique_lock lock(state_->mutex);
    state_->queue.push_back(job);
    state_->work.notify_one();
    // Ends early when another caller gave up: the thread may never be free.
    if (!state_->finished.wait_for(lock, kAnswerBound,
                                   [&] { return job->finished || !Answered(); })) {
        state_->answered.store(false, std::memory_order_release);
        state_->finished.notify_all();
    }
    return job->finished;
}

} // namespace velmora::midi
