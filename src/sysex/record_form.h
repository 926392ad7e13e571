// The record window: while it is open the input callback records every sysex
// block into SysexBuffer; the window counts them, notices when the transfer
// has ended (the Save button blinks) and saves the recording as a .syx file.
// "Send request" sends a request on the main output meanwhile, so that the
// device's reply is recorded as usual.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <optional>

#include "midi/midi_session.h"
#include "midi/ui_signal.h"
#include "sysex/request_sender.h"
#include "sysex/sysex_recorder.h"
#include "ui/caption_label.h"
#include "ui/image_control.h"
#include "ui/push_button.h"

namespace velmora::sysex {

class TrecordForm : public QDialog, public midi::UiSignalReceiver {
    Q_OBJECT
  public:
    TrecordForm(midi::MidiSession& session, QWidget* parent = nullptr);
    ~TrecordForm() override;

    // Starts a recording, shows the window modally and ends the recording
    // when it closes. `waitingText`: "Waiting for Sysex on 'NAME'...".
    void Record(const std::string& waitingText);

    // The save dialog; returns the chosen path, or empty when cancelled.
    // Replaceable for tests.
    std::function<QString(QWidget*)> chooseSaveFile;
    // The request to send, picked from the short list; nothing when
    // cancelled. Replaceable for tests.
    std::function<std::optional<RequestChoice>(QWidget*)> chooseRequest;
    // Says why a request was not sent. Replaceable for tests.
    std::function<void(QWidget*, const QString&)> showRequestProblem;

    SysexRecorder& recorder() { return recorder_; }
    midi::UiSignal& signal() { return signal_; }

    ui::TImage *imgBG, *ImgWinStatus;
    QLabel* lblStatus;
    // What the first message received says: its manufacturer and, for an
    // identity reply, the family, member and version (as the Sysex Monitor
    // describes it).
    QLabel* lblDecoded;
    ui::TPushButton *ImgButSave, *ImgButExit, *ImgButRequest;
    ui::TCaptionLabel *lblSave, *lblExit, *lblRequest;
    QTimer* Timer1;

  protected:
    void HandleSignal(const midi::Handed& handed) override; // Edit1Change
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void ImgButSaveClick();
    void ImgButRequestClick();
    void Timer1Timer();
    void DecodeFirstMessage();

    midi::MidiFunctions& midi_;
    midi::MidiSession& session_;
    SysexRecorder recorder_;
    midi::UiSignal signal_;
    std::uint64_t lostBefore_ = 0; // the input's lost count when the recording began
    bool decoded_ = false;         // the first message was described (or is a long dump)
};

} // namespace velmora::sysex
