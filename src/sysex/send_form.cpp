#include "sysex/send_form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <thread>

#include "core/sysex_file_io.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/transfer_texts.h"
#include "ui/escape_key.h"
#include "ui/from_core.h"
#include "ui/rg_form.h"
#include "ui/skin_palette.h"
#include "ui/skin_widgets.h"

namespace velmora::sysex {
namespace {

QString AskForOpenFile(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromLatin1(kLoadDialogTitle));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Sysex Files (*.syx)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kSysexFileExtension));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

TsendForm::TsendForm(midi::MidiFunctions& midi, QWidget* parent)
    : QDialog(parent), chooseOpenFile(AskForOpenFile), midi_(midi) {
    nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    setWindowTitle(QStringLiteral(" Send Sysex"));
    setProperty("helpContext", 1006); // what F1 opens
    // No close box: the window closes itself when the send has ended.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFixedSize(431, 137);
    setFont(ui::skin::CaptionFont(false));
    imgBG = new ui::TImage(ui::RGForm().imgBG(), this);
    imgBG->move(0, -2);
    ImgWinStatus = new ui::TImage(ui::RGForm().ImgWinStatus2(), this);
    ImgWinStatus->move(24, 30);
    lblStatus = new QLabel(this);
    lblStatus->setGeometry(32, 40, 369, 15);
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setFont(ui::skin::CaptionFont(true));
    lblStatus->setStyleSheet(ui::skin::LabelStyle(ui::skin::Green()));
    Gauge1 = new ui::TGauge(this);
    Gauge1->setGeometry(34, 60, 368, 16);
    Gauge1->setShowText(true);
    ImgButCancel = new ui::TPushButton(this);
    ImgButCancel->move(336, 102);
    lblCancel =
        new ui::TCaptionLabel(QStringLiteral("Cancel"), ui::TCaptionLabel::Style::Button, this);
    lblCancel->setControl(ImgButCancel);
    lblCancel->move(374, 102);
    ImgButCancel->setReleaseFace(ui::TPushButton::ReleaseFace::BeforeAction);
    ImgButCancel->setAction([this] { Cancel(); });
    lblOutDevice = new QLabel(this);
    lblOutDevice->move(1000, 1000); // kept out of view
    // Between the bar and Cancel; empty until a send is complete.
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setGeometry(32, 82, 300, 15);
    lblResult->setFont(ui::skin::CaptionFont(true));
    lblResult->setStyleSheet(ui::skin::LabelStyle(ui::skin::DoneGreen()));
    endTimer_ = new QTimer(this);
    endTimer_->setObjectName(QStringLiteral("endTimer")); // tests wait for its ticks
    endTimer_->setInterval(100);
    connect(endTimer_, &QTimer::timeout, this, &TsendForm::WatchEnd);
}

void TsendForm::ShowStatus(const std::string& coreText) {
    ui::SetElidedText(lblStatus, ui::FromCore(coreText), QString::fromStdString(outDeviceName_));
}

void TsendForm::WatchEnd() {
    if (nowMs() - endShownAt_ >= endShownMs) {
        endTimer_->stop();
        close();
    }
}

void TsendForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

void TsendForm::ChooseAndSend(const std::string& outDeviceName) {
    const QString path = chooseOpenFile(parentWidget());
    if (path.isEmpty()) {
        return;
    }
    if (parentWidget()) {
        parentWidget()->repaint();
    }
    const FileResult loaded = LoadSysexBuffer(midi_.sysex, path.toStdString());
    if (!loaded) {
        QMessageBox::warning(
            parentWidget(), QStringLiteral("Velmora"),
            ui::FromCore(FileFaultText(loaded, Language::French, FileTask::SysexLoad)));
        return; // nothing is sent
    }
    outDeviceName_ = outDeviceName;
    lblOutDevice->setText(ui::FromCore(OutDeviceLabel(outDeviceName)));
    ShowStatus(SendingText(outDeviceName));
    lblResult->clear();
    exec();
}

void TsendForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    sendCancelled_ = false;
    ImgButCancel->showReleased();
    lblCancel->setText(QStringLiteral("Cancel"));
    lblCancel->adjustSize();
    sendPending_ = true;
    // The send starts once the window is up and active.
    QMetaObject::invokeMethod(this, &TsendForm::FormActivate, Qt::QueuedConnection);
}

void TsendForm::FormActivate() {
    if (!sendPending_) {
        return;
    }
    sendPending_ = false;
    Send();
    // Input is back the moment the send ends, not when the window closes: a
    // device's reply and whatever is played meanwhile are shown and passed on.
    midi_.InputActive.store(midi_.InputOpen());
    if (lastState_ != SendState::Completed || sendCancelled_ || endShownMs <= 0) {
        close();
        return;
    }
    endShownAt_ = nowMs();
    endTimer_->start();
}

void TsendForm::Send() {
    repaint();
    sender_ = std::make_unique<SysexSender>(
        midi_.MidiOutHandle(), CopySysexBuffer(midi_.sysex), outDeviceName_,
        SendOptions{std::chrono::milliseconds(std::clamp(pauseMs, 0, kMaxPauseMs))});
    Gauge1->setMinValue(0);
    Gauge1->setMaxValue(static_cast<int>(std::min<std::size_t>(sender_->GaugeMaximum(), INT_MAX)));
    Gauge1->setProgress(0);
    if (sendCancelled_) {
        sender_->RequestCancel();
    }
    while (!sender_->Finished()) {
        // A pause is slept in short steps, with the events let in between
        // (a pause lies at a message boundary), so that Cancel, Escape and a
        // stop signal are not held up by a long one.
        const auto wait = sender_->NextStepAt() - SysexSender::Clock::now();
        if (wait > SysexSender::Clock::duration::zero()) {
            std::this_thread::sleep_for(
                std::min<SysexSender::Clock::duration>(wait, std::chrono::milliseconds(20)));
        }
        sender_->Step();
        ShowStatus(sender_->StatusText());
        lblStatus->repaint();
        Gauge1->setProgress(static_cast<int>(std::min<std::size_t>(sender_->Progress(), INT_MAX)));
        if (sender_->AtMessageBoundary() && !sender_->Finished()) {
            // Where Cancel and Escape take effect.
            QCoreApplication::processEvents();
            if (sendCancelled_) {
                sender_->RequestCancel();
            }
        }
    }
    lastState_ = sender_->State();
    if (lastState_ == SendState::Failed) {
        const char* why = sender_->Plan().messages == 0 ? kNoSysexInFile : kSendError;
        QMessageBox::warning(this, QStringLiteral("Velmora"), QString::fromLatin1(why));
        lblStatus->setText(QString::fromLatin1(why));
    } else if (lastState_ == SendState::Cancelled) {
        lblStatus->setText(ui::FromCore(kSendCancelled));
    } else {
        ShowStatus(sender_->StatusText());
        lblCancel->setText(QStringLiteral("Exit"));
        lblCancel->adjustSize();
        lblResult->setText(QStringLiteral("Sent %1 messages, %2 bytes")
                               .arg(sender_->Plan().messages)
                               .arg(static_cast<qulonglong>(sender_->BytesHandedOver())));
    }
    lastStatus_ = lblStatus->toolTip().isEmpty() ? lblStatus->text() : lblStatus->toolTip();
    sender_.reset();
}

void TsendForm::Cancel() {
    lblCancel->setText(QStringLiteral("Exit"));
    sendCancelled_ = true;
    if (sender_) {
        sender_->RequestCancel();
    }
    close();
}

void TsendForm::closeEvent(QCloseEvent* event) {
    endTimer_->stop();
    // Any request to close stops the send at the next message boundary.
    sendCancelled_ = true;
    if (sender_) {
        sender_->RequestCancel();
    }
    QDialog::closeEvent(event);
}

void TsendForm::keyPressEvent(QKeyEvent* event) {
    const bool escape = ui::EscapeCloses(event, [this] {
        ImgButCancel->showReleased();
        Cancel();
    });
    if (!escape) {
        QDialog::keyPressEvent(event);
    }
}

} // namespace velmora::sysex
