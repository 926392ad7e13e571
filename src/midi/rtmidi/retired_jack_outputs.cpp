#include "midi/rtmidi/retired_jack_outputs.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace velmora::midi {

namespace {

using Clock = std::chrono::steady_clock;

// Far longer than any cycle runs, even on a machine that is very busy.
constexpr auto kGrace = std::chrono::seconds(10);

struct Retired {
    std::weak_ptr<JackCycleWatch> watch;
    std::string clientName;
    Clock::time_point since;
    RtMidiOut* out;
};

// Never freed: what is still retired at exit must outlive every static
// destructor, its process cycle included.
std::vector<Retired>& RetiredOutputs() {
    static auto* retired = new std::vector<Retired>();
    return *retired;
}

std::mutex& RetiredMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

} // namespace

void RetireJackOutput(const std::shared_ptr<JackCycleWatch>& watch, std::string clientName,
                      std::unique_ptr<RtMidiOut> out) {
    std::vector<RtMidiOut*> done;
    {
        std::lock_guard lock(RetiredMutex());
        auto& retired = RetiredOutputs();
        const auto now = Clock::now();
        for (auto it = retired.begin(); it != retired.end();) {
            if (now - it->since > kGrace) {
                done.push_back(it->out);
                it = retired.erase(it);
            } else {
                ++it;
            }
        }
        if (out) {
            out->setErrorCallback(&IgnoreError, nullptr); // its port's error sink goes now
            retired.push_back({watch, std::move(clientName), now, out.release()});
        }
    }
    for (RtMidiOut* old : done) {
        try {
            delete old;
        } catch (...) {
        }
    }
}

std::unique_ptr<RtMidiOut> TakeRetiredJackOutput(const std::shared_ptr<JackCycleWatch>& watch,
                                                 const std::string& clientName) {
    if (!watch || !watch->Running()) {
        return nullptr;
    }
    std::lock_guard lock(RetiredMutex());
    auto& retired = RetiredOutputs();
    for (auto it = retired.begin(); it != retired.end(); ++it) {
        if (it->clientName == clientName && it->watch.lock() == watch) {
            std::unique_ptr<RtMidiOut> out(it->out);
            retired.erase(it);
            return out;
        }
    }
    return nullptr;
}

} // namespace velmora::midi
