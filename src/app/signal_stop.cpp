#include "app/signal_stop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace velmora::app {

SignalStop::SignalStop(std::function<int()> requested, int wakeDescriptor, QObject* parent)
    : QObject(parent), requested_(std::move(requested)) {
    timer_.setObjectName(QStringLiteral("signalStopTimer"));
    connect(&timer_, &QTimer::timeout, this, &SignalStop::Tick);
    if (wakeDescriptor < 0) {
        timer_.start(kTickMs); // nothing to watch: a poll
        return;
    }
    // The handler only writes to a pipe, which stays readable: the notifier
    // wakes this thread once (in whichever event loop runs, a dialog's too)
    // and hands over to the ticks that end the program step by step. An idle
    // window is not woken ten times a second to look.
    wake_ = new QSocketNotifier(static_cast<qintptr>(wakeDescriptor), QSocketNotifier::Read, this);
    connect(wake_, &QSocketNotifier::activated, this, [this] {
        wake_->setEnabled(false);
        timer_.start(kStoppingTickMs);
        Tick();
    });
}

int SignalStop::ExitStatus(int loopStatus) const {
    const int signal = requested_();
    return signal != 0 ? 128 + signal : loopStatus;
}

void DismissDialog(QWidget* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        if (QAbstractButton* safe = box->escapeButton()) {
            safe->click();
            return;
        }
    }
    dialog->close();
    if (auto* plain = qobject_cast<QDialog*>(dialog); plain && plain->isVisible()) {
        plain->reject();
    }
}

void SignalStop::Tick() {
    if (requested_() == 0) {
        return;
    }
    timer_.setInterval(kStoppingTickMs); // the steps below follow each other quickly
    // Each step is queued, to run once this tick has returned: a step may
    // open a dialog with an event loop of its own (the settings that cannot
    // be written), and a timer does not fire again while its own tick runs.
    // The dialogs go first, and nothing more this tick: each runs an event
    // loop of its own inside the code that opened it, which must return (a
    // send ends at its message boundary) before the window under it closes.
    bool dialogs = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog*>(window) != nullptr && window->isVisible()) {
            QMetaObject::invokeMethod(
                window, [window] { DismissDialog(window); }, Qt::QueuedConnection);
            dialogs = true;
        }
    }
    if (dialogs || !main_) {
        return; // before the main window exists, it closes once it does
    }
    if (main_->isVisible()) {
        // Saves the settings; a dialog it opens goes at a later tick.
        QMetaObject::invokeMethod(
            main_, [window = main_] { window->close(); }, Qt::QueuedConnection);
        return;
    }
    // Closed: every loop ends, nested ones too, also when other windows
    // would keep the program going.
    QCoreApplication::exit(ExitStatus(0));
}

} // namespace velmora::app
