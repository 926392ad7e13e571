#include "core/events_history.h"

namespace velmora {

// As DropFirstLine on the text after `start_`.
void EventsHistory::Append(std::string_view line) {
    if (start_ >= kLimit) {
        text_.erase(0, start_);
        start_ = 0;
    }
    text_ += line;
    if (text_.size() - start_ >= kLimit) {
        if (const auto end = text_.find("\r\n", start_); end != std::string::npos) {
            start_ = end + 2;
        }
    }
}

const std::string& EventsHistory::Text() const {
    if (start_ > 0) {
        text_.erase(0, start_);
        start_ = 0;
    }
    return text_;
}

} // namespace velmora
