#include "core/warning_list.h"

namespace velmora {

bool WarningList::Raise(WarningKind kind, std::string text, std::string subject) {
    const std::string before = LineText();
    Entry& e = At(kind);
    if (!e.active || e.subject != subject) {
        e.dismissed = false; // something new to say
    }
    e.active = true;
    e.text = std::move(text);
    e.subject = std::move(subject);
    return LineText() != before;
}

bool WarningList::Clear(WarningKind kind) {
    const std::string before = LineText();
    At(kind) = Entry{};
    return LineText() != before;
}

bool WarningList::Dismiss() {
    const std::optional<WarningKind> shown = Shown();
    if (!shown) {
        return false;
    }
    At(*shown).dismissed = true;
    return true;
}

bool WarningList::Active(WarningKind kind) const {
    return At(kind).active;
}

std::optional<WarningKind> WarningList::Shown() const {
    for (std::size_t i = 0; i < kWarningKinds; ++i) {
        if (entries_[i].active && !entries_[i].dismissed) {
            return static_cast<WarningKind>(i);
        }
    }
    return std::nullopt;
}

std::size_t WarningList::Others() const {
    std::size_t count = 0;
    for (const Entry& e : entries_) {
        count += e.active && !e.dismissed ? 1 : 0;
    }
    return count == 0 ? 0 : count - 1;
}

std::string WarningList::ShownText() const {
    const std::optional<WarningKind> shown = Shown();
    return shown ? At(*shown).text : std::string();
}

std::string WarningList::LineText() const {
    std::string text = ShownText();
    if (const std::size_t others = Others(); others > 0) {
        text += " (+" + std::to_string(others) + " more)";
    }
    return text;
}

} // namespace velmora
