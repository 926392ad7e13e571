// The send window: sends SysexBuffer on the main output message by message,
// in blocks of at most 4096 bytes, with its progress, and closes itself when
// the send has ended. Cancel and Escape stop it at the next message boundary.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <memory>

#include "midi/midi_functions.h"
#include "sysex/sysex_sender.h"
#include "ui/caption_label.h"
#include "ui/gauge.h"
#include "ui/image_control.h"
#include "ui/push_button.h"

namespace velmora::sysex {

class TsendForm : public QDialog {
    Q_OBJECT
  public:
    explicit TsendForm(midi::MidiFunctions& midi, QWidget* parent = nullptr);

    // Chooses a .syx file, loads it into SysexBuffer and sends it on the
    // main output named `outDeviceName` (UTF-8), reporting file errors.
    void ChooseAndSend(const std::string& outDeviceName);

    // The open dialog; returns the chosen path, or empty when cancelled.
    // Replaceable for tests.
    std::function<QString(QWidget*)> chooseOpenFile;
    // The outcome of the last send.
    SendState LastState() const { return lastState_; }
    QString LastStatus() const { return lastStatus_; }

    ui::TImage *imgBG, *ImgWinStatus;
    QLabel *lblStatus, *lblOutDevice;
    ui::TGauge* Gauge1;
    ui::TPushButton* ImgButCancel;
    ui::TCaptionLabel* lblCancel;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void FormActivate();
    void Send();
    void Cancel();

    midi::MidiFunctions& midi_;
    std::string outDeviceName_;
    std::unique_ptr<SysexSender> sender_;
    bool sendCancelled_ = false;
    bool sendPending_ = false;
    SendState lastState_ = SendState::Completed;
    QString lastStatus_;
};

} // namespace velmora::sysex
