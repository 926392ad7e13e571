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
    void Clear() { text_.clear(); }
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

} // namespace velmora
