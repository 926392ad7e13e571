#include "midi/alsa/port_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora::midi::alsa {

std::shared_ptr<PortWatch> PortWatch::Start(const std::string& clientName, std::string* why) {
    std::unique_ptr<SeqClient> client = SeqClient::Open(clientName, why);
    if (!client) {
        return nullptr;
    }
    // A port nobody else may connect to or list: only the announcements
    // come in through it.
    const int port = snd_seq_create_simple_port(client->Handle(), "announcements",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    int err = port;
    if (port >= 0) {
        err = snd_seq_connect_from(client->Handle(), port, SND_SEQ_CLIENT_SYSTEM,
                                   SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    }
    if (err < 0) {
        *why = std::string("the ALSA sequencer's announcements can't be followed: ") +
               snd_strerror(err);
        return nullptr;
    }
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        *why = "no eventfd for the ALSA port watch";
        return nullptr;
    }
    std::shared_ptr<PortWatch> watch(new PortWatch(std::move(client), wakeFd));
    watch->AddOwnClient(watch->client_->Id());
    watch->Refresh();
    watch->thread_ = std::thread([w = watch.get()] { w->Loop(); });
    return watch;
}

PortWatch::PortWatch(std::unique_ptr<SeqClient> client, int wakeFd)
    : client_(std::move(client)), wakeFd_(wakeFd) {}

PortWatch::~PortWatch() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    close(wakeFd_);
}

std::vector<SeqPort> PortWatch::Ports() const {
    std::lock_guard lock(mutex_);
    return ports_;
}

std::shared_ptr<std::atomic<bool>> PortWatch::FollowDeparture(SeqAddress address) {
    auto flag = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(mutex_);
    std::erase_if(followed_, [](const auto& f) { return f.second.expired(); });
    const bool there = std::any_of(ports_.begin(), ports_.end(),
                                   [&](const SeqPort& p) { return p.address == address; });
    flag->store(!there);
    followed_.emplace_back(address, flag);
    return flag;
}

void PortWatch::AddOwnClient(int client) {
    std::lock_guard lock(mutex_);
    own_.insert(client);
}

void PortWatch::RemoveOwnClient(int client) {
    std::lock_guard lock(mutex_);
    own_.erase(client);
}

bool PortWatch::IsOwnClient(int client) const {
    std::lock_guard lock(mutex_);
    return own_.contains(client);
}

// Rereads the whole list: what an announcement says changed, and anything an
// overflow of the watch's own input may have hidden. Ports no longer there
// are marked as gone.
void PortWatch::Refresh() {
    std::vector<SeqPort> ports = Ask([](const SeqClient& c) { return c.Ports(); });
    std::lock_guard lock(mutex_);
    ports_ = std::move(ports);
    for (const auto& [followed_address, weak] : followed_) {
        // A copy: older clang may not capture a structured binding in a lambda.
        const auto address = followed_address;
        if (const auto flag = weak.lock()) {
            const bool there = std::any_of(ports_.begin(), ports_.end(),
                                           [&](const SeqPort& p) { return p.address == address; });
            if (!there) {
                flag->store(true, std::memory_order_release);
            }
        }
    }
}

void PortWatch::Loop() {
    snd_seq_t* seq = client_->Handle();
    std::vector<pollfd> fds(static_cast<std::size_t>(snd_seq_poll_descriptors_count(seq, POLLIN)));
    snd_seq_poll_descriptors(seq, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
    fds.push_back({wakeFd_, POLLIN, 0});
    while (true) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            running_.store(false, std::memory_order_release);
            return;
        }
        if (fds.back().revents != 0) {
            return;
        }
        bool changed = false;
        while (true) {
            snd_seq_event_t* ev = nullptr;
            const int got = snd_seq_event_input(seq, &ev);
            if (got == -EAGAIN) {
                break;
            }
            if (got == -ENOSPC) {
                changed = true; // announcements were lost: reread everything
                continue;
            }
            if (got < 0) {
                running_.store(false, std::memory_order_release);
                return;
            }
            switch (ev->type) {
            case SND_SEQ_EVENT_CLIENT_START:
            case SND_SEQ_EVENT_CLIENT_EXIT:
            case SND_SEQ_EVENT_CLIENT_CHANGE:
            case SND_SEQ_EVENT_PORT_START:
            case SND_SEQ_EVENT_PORT_EXIT:
            case SND_SEQ_EVENT_PORT_CHANGE:
                changed = true;
                break;
            case SND_SEQ_EVENT_PORT_SUBSCRIBED:
            case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
                connections_.fetch_add(1, std::memory_order_acq_rel);
                break;
            default:
                break;
            }
        }
        if (changed) {
            Refresh();
            changes_.fetch_add(1, std::memory_order_acq_rel);
            connections_.fetch_add(1, std::memory_order_acq_rel);
        }
    }
}

} // namespace velmora::midi::alsa
