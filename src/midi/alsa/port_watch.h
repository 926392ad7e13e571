// Keeps the sequencer's list of ports up to date from its own announcements
// (the System:Announce port), never by polling: a client of its own with one
// hidden port receives them on a thread of its own, which rereads the list
// and marks the ports that left. Lists and flags are shared under a lock;
// no real-time thread ever takes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "midi/alsa/seq_client.h"

namespace velmora::midi::alsa {

class PortWatch {
  public:
    // Starts watching with a client called `clientName`. nullptr, with the
    // reason in *why, when the sequencer can't be used.
    static std::shared_ptr<PortWatch> Start(const std::string& clientName, std::string* why);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The ports as last announced.
    std::vector<SeqPort> Ports() const;
    // Counts the announcements taken in; for waiting on one.
    std::uint64_t Changes() const { return changes_.load(std::memory_order_acquire); }
    // Counts the changes of ports and connections announced so far: what was
    // learnt of the connections before holds while it stays the same.
    std::uint64_t Connections() const { return connections_.load(std::memory_order_acquire); }

    // A flag that is set once the port at `address` leaves (at once when it
    // is not there now); followed while the flag is held.
    std::shared_ptr<std::atomic<bool>> FollowDeparture(SeqAddress address);

    // Velmora's own clients: never listed.
    void AddOwnClient(int client);
    void RemoveOwnClient(int client);
    bool IsOwnClient(int client) const;

    // Runs `query` on the watch's client, one at a time.
    template <typename Query> auto Ask(Query&& query) const {
        std::lock_guard lock(queryMutex_);
        return query(*client_);
    }

    // False when the watch could no longer read the sequencer.
    bool Running() const { return running_.load(std::memory_order_acquire); }

  private:
    PortWatch(std::unique_ptr<SeqClient> client, int wakeFd);
    void Loop();
    void Refresh();

    std::unique_ptr<SeqClient> client_;
    int wakeFd_;
    mutable std::mutex queryMutex_; // for client_'s queries

    mutable std::mutex mutex_;
    std::vector<SeqPort> ports_; // guarded by mutex_
    std::vector<std::pair<SeqAddress, std::weak_ptr<std::atomic<bool>>>> followed_; // guarded
    std::set<int> own_; // guarded by mutex_

    std::atomic<std::uint64_t> changes_{0};
    std::atomic<std::uint64_t> connections_{0};
    std::atomic<bool> running_{true};
    std::thread thread_;
};

} // namespace velmora::midi::alsa
