#include "core/events_history.h"

#include "core/text_tools.h"

namespace velmora {

void EventsHistory::Append(std::string_view line) {
    text_ += line;
    if (text_.size() >= kLimit) {
        text_ = DropFirstLine(text_, "\r\n", kLimit);
    }
}

} // namespace velmora
