// The one way Velmora's code asks libjack anything outside the process
// callback: each call runs on one thread of the client's own, and the caller
// waits for it at most a bound. A server being stopped, or one that is
// frozen (a jackd stopped with SIGSTOP, a hung PipeWire), can leave a libjack
// call waiting for ever; the caller then goes on as if the server had
// stopped, and the call is left to finish, or not, on that thread.
//
// Threads:
//   - any program thread but the real-time one calls Ask;
//   - the call thread runs the asks, one at a time, in order;
//   - an ask may still run after its caller gave up (even after JackCalls is
//     gone): it must own all it uses (capture by value) and only return its
//     result; the client handle stays valid, since a client whose server
//     stopped or did not answer is never closed (jack_client.h).
#pragma once

#include <jack/jack.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace velmora::midi {

class JackCalls {
  public:
    // How long a caller waits for the server to answer one call.
    static constexpr std::chrono::seconds kAnswerBound{4};

    explicit JackCalls(jack_client_t* handle);
    // Lets the call thread end: joined when it is idle or ends within the
    // bound, else left behind (it owns everything it still touches).
    ~JackCalls();
    JackCalls(const JackCalls&) = delete;
    JackCalls& operator=(const JackCalls&) = delete;

    // Runs `ask(handle)` on the call thread and returns what it returned;
    // nullopt when it threw, or when the server did not answer within the
    // bound (then Answered() is false from now on and every later ask fails
    // at once, as the thread may never be free again), or after Abandon.
    template <class Ask>
    auto Run(Ask ask) -> std::optional<std::invoke_result_t<Ask&, jack_client_t*>> {
        using Result = std::invoke_result_t<Ask&, jack_client_t*>;
        auto result = std::make_shared<std::optional<Result>>();
        const bool done = RunErased([result, ask = std::move(ask)](jack_client_t* handle) mutable {
            result->emplace(ask(handle));
        });
        if (!done) {
            return std::nullopt;
        }
        return std::move(*result); // written before the call thread said it was done
    }

    // Queues `ask` without waiting for it, even after a call was given up:
    // it runs if the server ever answers the calls before it.
    void Post(std::function<void(jack_client_t*)> ask);

    // The server is gone: callers waiting now return at once with nothing,
    // as do later ones. Any thread but the real-time one; takes a lock
    // only for a moment.
    void Abandon();

    // False once a call was given up, or after Abandon.
    bool Answered() const;

  private:
    struct State;
    bool RunErased(std::function<void(jack_client_t*)> ask);

    std::shared_ptr<State> state_;
};

} // namespace velmora::midi
