// The stream check in the window: while on, every message and sysex block
// the input delivers goes to the checker (core/midi_lint.h), and each
// warning it finds is shown. A timer tells the checker that time passed
// (notes left on when the input went quiet, sensing that stopped) and that
// the input closed. Off by default. A lasting fault's warning goes when the
// fault ends (the one shown before it, still lasting, comes back); a
// one-off fault's stays until dismissed or a newer one is shown.
// Window thread only: the messages come from the window's hand-off, with the
// hand-off's time stamps, so a clock's intervals are measured where they
// arrived and not where the window took them in.
#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "core/midi_lint.h"
#include "midi/hand_off.h"

namespace velmora::app {

class LintOption : public QObject {
  public:
    // `inputOpen` tells whether the input is open now.
    LintOption(QWidget& window, std::function<bool()> inputOpen);

    QAction* action() const { return action_; }
    bool On() const { return lint_.has_value(); }
    void SetOn(bool on);
    void Feed(const midi::Handed& handed);

    // Shows one warning (English, one line).
    std::function<void(const QString&)> warn;
    // The faults warned of are gone: the check was switched off, or the
    // input opened again and a new stream begins.
    std::function<void()> cleared;
    // The hand-off's clock; tests replace it.
    std::function<std::uint64_t()> now = midi::HandOffMicros;

    static constexpr int kTickMs = 250;

  private:
    void Tick();
    void Show(std::vector<LintWarning>& warnings);
    void Clear();
    void End(LintKind kind);

    std::function<bool()> inputOpen_;
    QAction* action_;
    QTimer timer_;
    std::optional<MidiLint> lint_;
    bool wasOpen_ = false;
    std::vector<LintWarning> found_;
    std::vector<LintWarning> lasting_; // told, not over, oldest first
    std::optional<LintKind> shown_;    // of the warning on the line
};

} // namespace velmora::app
