#include "sysex/send_form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <thread>

#include "core/sysex_file_io.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/transfer_texts.h"
#include "ui/escape_key.h"
#include "ui/from_core.h"
#include "ui/rg_form.h"
#include "ui/skin_palette.h"

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
    setWindowTitle(QStringLiteral(" Send Sysex"));
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
    lblStatus->setStyleSheet(QStringLiteral("color: rgb(32, 160, 0); background: transparent;"));
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
    const FileOutcome outcome = LoadSysexBuffer(midi_.sysex, path.toStdString());
    if (!outcome) {
        QMessageBox::warning(parentWidget(), QStringLiteral("Velmora"),
                             ui::FromCore(outcome.problem == FileProblem::Short
                                              ? std::string(kSysexLoadErrorText)
                                              : outcome.message));
        return; // nothing is sent
    }
    outDeviceName_ = outDeviceName;
    lblOutDevice->setText(ui::FromCore(OutDeviceLabel(outDeviceName)));
    lblStatus->setText(ui::FromCore(SendingText(outDeviceName)));
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
    close();
}

void TsendForm::Send() {
    repaint();
    sender_ = std::make_unique<SysexSender>(midi_.MidiOutHandle(), CopySysexBuffer(midi_.sysex),
                                            outDeviceName_);
    Gauge1->setMinValue(0);
    Gauge1->setMaxValue(static_cast<int>(std::min<std::size_t>(sender_->GaugeMaximum(), INT_MAX)));
    Gauge1->setProgress(0);
    if (sendCancelled_) {
        sender_->RequestCancel();
    }
    while (!sender_->Finished()) {
        const auto wait = sender_->NextStepAt() - SysexSender::Clock::now();
        if (wait > SysexSender::Clock::duration::zero()) {
            std::this_thread::sleep_for(wait);
        }
        sender_->Step();
        lblStatus->setText(ui::FromCore(sender_->StatusText()));
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
        lblStatus->setText(ui::FromCore(sender_->StatusText()));
        lblCancel->setText(QStringLiteral("Exit"));
    }
    lastStatus_ = lblStatus->text();
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
