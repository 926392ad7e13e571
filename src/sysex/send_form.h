// The send window: sends SysexBuffer on the main output message by message,
// in blocks of at most 4096 bytes, with its progress, and closes itself when
// the send has ended: at once when it was cancelled or failed, a few seconds
// after a complete send, whose end it shows until then while the input runs
// again. Cancel (then Exit) and Escape stop it at the next message boundary
// or close it.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>
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
    // The quiet time after each message, in ms (0: none).
    int pauseMs = 0;
    static constexpr int kMaxPauseMs = 5000;
    // How long a complete send's end stays shown (the input already runs),
    // and the clock (ms) that times it; tests replace the clock.
    int endShownMs = 4000;
    std::function<std::int64_t()> nowMs;
    // The outcome of the last send.
    SendState LastState() const { return lastState_; }
    QString LastStatus() const { return lastStatus_; }

    ui::TImage *imgBG, *ImgWinStatus;
    QLabel *lblStatus, *lblOutDevice;
    QLabel* lblResult; // "Sent N messages, M bytes" once a send is complete
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
    void ShowStatus(const std::string& coreText);
    void WatchEnd();

    midi::MidiFunctions& midi_;
    std::string outDeviceName_;
    std::unique_ptr<SysexSender> sender_;
    bool sendCancelled_ = false;
    bool sendPending_ = false;
    SendState lastState_ = SendState::Completed;
    QString lastStatus_;
    QTimer* endTimer_;
    std::int64_t endShownAt_ = 0;
};

} // namespace velmora::sysex
