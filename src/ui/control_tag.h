// Where an image control keeps its integer state. The tag lives in the
// control, or in an atomic of the program's shared state the control has been
// bound to, so the MIDI thread can read that atomic while the window changes
// it. Only the window thread writes through a ControlTag or rebinds it; other
// threads read the bound atomic itself.
#pragma once

#include <atomic>

namespace velmora::ui {

class ControlTag {
  public:
    ControlTag() = default;
    ControlTag(const ControlTag&) = delete;
    ControlTag& operator=(const ControlTag&) = delete;

    int get() const { return storage_->load(); }
    void set(int value) { storage_->store(value); }

    // From now on the tag is `shared`; it keeps the value `shared` holds.
    void bind(std::atomic<int>& shared) { storage_ = &shared; }

    bool isBound() const { return storage_ != &own_; }

  private:
    std::atomic<int> own_{0};
    std::atomic<int>* storage_ = &own_;
};

} // namespace velmora::ui
