// The "Events History" text: one line per shown message, its oldest line
// dropped each time the text has reached 1800 characters (26 lines in use).
#pragma once

#include <string>
#include <string_view>

namespace velmora {

class EventsHistory {
  public:
    static constexpr std::size_t kLimit = 1800;

    void Append(std::string_view line);
    void Clear() {
        text_.clear();
        start_ = 0;
    }
    const std::string& Text() const;

  private:
    // Dropped lines stay before `start_` until the text is asked for or
    // they fill a history of their own: a line costs no moving of the rest.
    mutable std::string text_;
    mutable std::size_t start_ = 0;
};

} // namespace velmora
