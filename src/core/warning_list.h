// The warnings the window keeps in view on every panel: which causes are
// active, which one is shown, and which the user has dismissed. Plain data,
// no window: the window raises and clears causes and shows LineText().
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace velmora {

// In order of importance: the first active one is shown.
enum class WarningKind {
    ServiceGone,    // the MIDI service stopped, or came back
    DeviceGone,     // a chosen device went away or is not there
    LoopBroken,     // thru was switched off for a feedback loop
    InputLost,      // input was lost
    StreamFault,    // the stream check found a fault in what arrives
    ExtraInputGone, // an extra input of the window is not there
};
inline constexpr std::size_t kWarningKinds = 6;

class WarningList {
  public:
    // Makes `kind` active with `text`. `subject` names what it is about (a
    // device, a count of episodes): a dismissed warning shows again only when
    // it is raised about another subject or after it was cleared. True when
    // the line changed.
    bool Raise(WarningKind kind, std::string text, std::string subject = {});
    // The cause is gone. True when the line changed.
    bool Clear(WarningKind kind);
    // The user closed the line: the shown warning stays hidden until it is
    // raised anew (see Raise); the next one shows. True when one was shown.
    bool Dismiss();

    bool Active(WarningKind kind) const;
    // The most important active warning the user has not dismissed.
    std::optional<WarningKind> Shown() const;
    // Active warnings not dismissed, besides the shown one.
    std::size_t Others() const;
    // The shown warning's text, with "(+N more)" when others wait; "" when
    // nothing is to be shown.
    std::string LineText() const;
    // The shown warning's text alone.
    std::string ShownText() const;

  private:
    struct Entry {
        bool active = false;
        bool dismissed = false;
        std::string text;
        std::string subject;
    };
    Entry& At(WarningKind kind) { return entries_[static_cast<std::size_t>(kind)]; }
    const Entry& At(WarningKind kind) const { return entries_[static_cast<std::size_t>(kind)]; }
    std::array<Entry, kWarningKinds> entries_{};
};

} // namespace velmora
