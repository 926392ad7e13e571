#include "app/panic_action.h"

#include <QWidget>

#include "midi/patient_send.h"

namespace velmora::app {

PanicAction::PanicAction(QWidget& window, midi::MidiFunctions& midi)
    : QObject(&window), midi_(midi),
      action_(new QAction(QStringLiteral("P&anic: all notes off"), &window)) {
    action_->setObjectName(QStringLiteral("actPanic"));
    action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    action_->setShortcutContext(Qt::WindowShortcut);
    window.addAction(action_);
    connect(action_, &QAction::triggered, this, [this] { Run(); });
}

bool PanicAction::Run() {
    midi::OutputSlot& out = midi_.MidiOutHandle();
    if (!out.IsOpen()) {
        if (notice) {
            notice(QStringLiteral("Panic: no MIDI output is open (Setup)"));
        }
        return false;
    }
    const std::vector<ShortMessage> messages = PanicMessages(&notes_);
    const std::size_t refused = messages.size() - midi::SendAllPatiently(out, messages, kPatience);
    notes_ = {}; // what was on is off now
    if (notice) {
        const QString name = QString::fromStdString(out.DeviceName());
        notice(refused == 0
                   ? QStringLiteral("Panic: %1 messages sent to %2").arg(messages.size()).arg(name)
                   : QStringLiteral("Panic: %2 refused %1 of %3 messages")
                         .arg(refused)
                         .arg(name)
                         .arg(messages.size()));
    }
    return refused == 0;
}

} // namespace velmora::app
