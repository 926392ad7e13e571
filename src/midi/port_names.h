// The names of Velmora's ports where each is a client of its own (ALSA, and
// RtMidi's back ends): the first output is the client "Velmora out" with the
// port "out", the second "Velmora out 2" with "out 2", and so on; inputs
// likewise with "in". A closed port's name is free again.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace velmora::midi {

class PortNames {
  public:
    enum class Kind { In, Out };

    class Lease {
      public:
        Lease(std::shared_ptr<PortNames> names, Kind kind)
            : names_(std::move(names)), kind_(kind), slot_(names_->Acquire(kind)) {}
        ~Lease() { names_->Release(kind_, slot_); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        std::string PortName() const {
            const std::string base = kind_ == Kind::In ? "in" : "out";
            return slot_ == 1 ? base : base + " " + std::to_string(slot_);
        }
        std::string ClientName(const std::string& clientBase) const {
            return clientBase + " " + PortName();
        }

      private:
        std::shared_ptr<PortNames> names_;
        Kind kind_;
        int slot_;
    };

  private:
    int Acquire(Kind kind) {
        std::lock_guard lock(mutex_);
        std::set<int>& used = kind == Kind::In ? in_ : out_;
        int slot = 1;
        while (used.contains(slot)) {
            ++slot;
        }
        used.insert(slot);
        return slot;
    }
    void Release(Kind kind, int slot) {
        std::lock_guard lock(mutex_);
        (kind == Kind::In ? in_ : out_).erase(slot);
    }

    std::mutex mutex_;
    std::set<int> in_;
    std::set<int> out_;
};

} // namespace velmora::midi
