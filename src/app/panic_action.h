// The window's panic: a note-off for every note that came in on and was not
// switched off, then All Notes Off and the sustain pedal up on all 16
// channels, sent to the main output (the one thru plays to).
// Window thread only: notes are followed from the window's hand-off.
// A panic is a few messages (33 beside the notes seen on, 2,080 at most),
// sent paced as the command line sends them: a message the output's queue
// has no room for is offered again, but the window waits at most kPatience
// for any one of them, so an output that takes nothing holds it up no longer.
#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

#include "core/note_tracker.h"
#include "midi/midi_functions.h"

namespace velmora::app {

class PanicAction : public QObject {
  public:
    PanicAction(QWidget& window, midi::MidiFunctions& midi);

    // In the monitors' menu and on its shortcut in the whole window.
    QAction* action() const { return action_; }
    // Every short message the input delivered.
    void Feed(ShortMessage message) { notes_.Feed(message); }
    const NoteTracker& Notes() const { return notes_; }
    // Sends the panic; false when the output is not open or refused a message.
    bool Run();

    // A line for the window's status saying what the panic did.
    std::function<void(const QString&)> notice;

    static constexpr std::chrono::milliseconds kPatience{100};

  private:
    midi::MidiFunctions& midi_;
    QAction* action_;
    NoteTracker notes_;
};

} // namespace velmora::app
