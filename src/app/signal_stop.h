// Ends the program as its Power button does when a stop signal came
// (core/stop_signal.h): whatever dialog is up is dismissed as by its safe
// button (which stops a send or a recording at a message boundary), then the
// main window closes, saving the settings, and the event loops end. It keeps
// watching while that happens, so a dialog that the closing itself opens (a
// settings file that cannot be written) goes the same way, and so does one
// up before the main window exists (a settings file that cannot be read).
// Runs on the GUI thread, from whichever event loop is running.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace velmora::app {

class SignalStop : public QObject {
  public:
    // `requested`: the signal that asked to stop, 0 while none has.
    // `wakeDescriptor`: readable once a stop was requested (watched instead
    // of polling `requested`), or -1.
    SignalStop(std::function<int()> requested, int wakeDescriptor, QObject* parent = nullptr);

    // The window whose closing ends the program, once it is shown and the
    // program's event loop is about to run.
    void SetMainWindow(QWidget* window) { main_ = window; }
    // 128 + the signal once one asked to stop, else `loopStatus`.
    int ExitStatus(int loopStatus) const;

    static constexpr int kTickMs = 100;
    static constexpr int kStoppingTickMs = 20;

  private:
    void Tick();

    std::function<int()> requested_;
    QPointer<QWidget> main_;
    QTimer timer_;
    QSocketNotifier* wake_ = nullptr;
};

// Dismisses a dialog as its safe button would: a message box by its Escape
// button (No, Cancel, or its only OK), any other dialog by closing it.
void DismissDialog(QWidget* dialog);

} // namespace velmora::app
