#include "sysex/record_form.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <algorithm>

#include "core/sysex_details.h"
#include "core/sysex_file_io.h"
#include "sysex/request_menu.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/transfer_texts.h"
#include "ui/dialog_form1.h"
#include "ui/escape_key.h"
#include "ui/from_core.h"
#include "ui/rg_form.h"
#include "ui/skin_palette.h"
#include "ui/skin_widgets.h"

namespace velmora::sysex {
namespace {

QString AskForSaveFile(QWidget* parent) {
    QFileDialog dialog(parent, QString::fromLatin1(kSaveDialogTitle));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Sysex Files (*.syx)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kSysexFileExtension));
    // Overwriting an existing file asks first (the dialog's default).
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

TrecordForm::TrecordForm(midi::MidiSession& session, QWidget* parent)
    : QDialog(parent), chooseSaveFile(AskForSaveFile), midi_(session.midi()), session_(session),
      recorder_(session.midi()), signal_(*this) {
    setWindowTitle(QStringLiteral(" Record Sysex"));
    setProperty("helpContext", 1005); // what F1 opens
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    // Outer size 437 x 166 with the platform's frame: the client area below.
    setFixedSize(431, 137);
    setFont(ui::skin::CaptionFont(false));
    imgBG = new ui::TImage(ui::RGForm().imgBG(), this);
    imgBG->move(0, -2);
    ImgWinStatus = new ui::TImage(ui::RGForm().ImgWinStatus(), this);
    ImgWinStatus->move(24, 30);
    lblStatus = new QLabel(this);
    lblStatus->setGeometry(32, 39, 369, 15);
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setFont(ui::skin::CaptionFont(true));
    lblStatus->setStyleSheet(ui::skin::LabelStyle(ui::skin::Green()));

    lblDecoded = new QLabel(this);
    lblDecoded->setObjectName(QStringLiteral("lblDecoded"));
    lblDecoded->setGeometry(24, 64, 387, 22);
    lblDecoded->setWordWrap(true);
    lblDecoded->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblDecoded->setFont(ui::skin::CaptionFont(false));
    lblDecoded->setStyleSheet(ui::skin::LabelStyle(ui::skin::CaptionGrey()));

    ImgButSave = new ui::TPushButton(this);
    ImgButSave->move(312, 86);
    lblSave = new ui::TCaptionLabel(QStringLiteral("Save to file"),
                                    ui::TCaptionLabel::Style::Button, this);
    lblSave->setControl(ImgButSave);
    lblSave->move(351, 86);
    // Save shows itself lit while saving; the blinking uses the same faces.
    ImgButSave->setReleaseFace(ui::TPushButton::ReleaseFace::LeftPressed);
    ImgButSave->setAction([this] { ImgButSaveClick(); });

    ImgButExit = new ui::TPushButton(this);
    ImgButExit->move(312, 110);
    lblExit = new ui::TCaptionLabel(QStringLiteral("Exit"), ui::TCaptionLabel::Style::Button, this);
    lblExit->setControl(ImgButExit);
    lblExit->move(351, 110);
    ImgButExit->setReleaseFace(ui::TPushButton::ReleaseFace::LeftPressed);
    ImgButExit->setAction([this] { close(); });

    // Beside Exit, on the left: the request goes out while recording runs.
    ImgButRequest = new ui::TPushButton(this);
    ImgButRequest->move(24, 110);
    lblRequest = new ui::TCaptionLabel(QStringLiteral("Send request"),
                                       ui::TCaptionLabel::Style::Button, this);
    lblRequest->setControl(ImgButRequest);
    lblRequest->move(63, 110);
    ImgButRequest->setAction([this] { ImgButRequestClick(); });
    chooseRequest = [this](QWidget* parent) {
        return AskForRequest(parent, mapToGlobal(ImgButRequest->geometry().bottomLeft()));
    };
    showRequestProblem = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Velmora"), text);
    };

    Timer1 = new QTimer(this);
    connect(Timer1, &QTimer::timeout, this, &TrecordForm::Timer1Timer);
    session_.SetRecordSignal(&signal_);
}

TrecordForm::~TrecordForm() {
    session_.SetRecordSignal(nullptr);
    signal_.Shutdown();
}

void TrecordForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

void TrecordForm::Record(const std::string& waitingText) {
    lostBefore_ = midi_.LostInputEvents();
    recorder_.Begin();
    decoded_ = false;
    lblDecoded->clear();
    ui::SetElidedText(lblStatus, ui::FromCore(waitingText), QString());
    exec();
    Timer1->stop();
    recorder_.End();
}

void TrecordForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ImgButSave->setTag(0);
    ImgButSave->showReleased();
    ImgButExit->showReleased();
    recorder_.ResetWatch();
    Timer1->start(250);
}

void TrecordForm::HandleSignal(const midi::Handed& handed) {
    if (handed.kind != midi::HandedKind::Sysex) {
        return;
    }
    recorder_.NoteBlock();
    lblStatus->setText(ui::FromCore(recorder_.StatusText()));
    DecodeFirstMessage();
}

void TrecordForm::DecodeFirstMessage() {
    // Replies worth spelling out are short: a long first message (a dump)
    // is not copied again for every block that adds to it.
    constexpr std::size_t kLongest = 4096;
    if (decoded_) {
        return;
    }
    if (recorder_.Length() > kLongest) {
        decoded_ = true;
        return;
    }
    const std::vector<std::uint8_t> bytes = recorder_.Bytes();
    const auto start = std::find(bytes.begin(), bytes.end(), 0xF0);
    const auto end = std::find(start, bytes.end(), 0xF7);
    if (end == bytes.end()) {
        return; // not complete yet
    }
    decoded_ = true;
    const std::string text = DescribeSysex(std::span(start, end + 1));
    lblDecoded->setText(ui::FromCore(text));
    lblDecoded->setToolTip(lblDecoded->text());
}

void TrecordForm::Timer1Timer() {
    if (!recorder_.TransferEnded()) {
        return;
    }
    const bool lit = ImgButSave->tag() == 0;
    ImgButSave->setTag(lit ? 1 : 0);
    ImgButSave->showFace(lit);
}

void TrecordForm::ImgButSaveClick() {
    ImgButSave->setTag(1);
    ImgButSave->showPressed();
    ImgButSave->repaint();
    if (recorder_.Length() == 0) {
        ui::ShowMessageDialog(QString::fromLatin1(kNothingToSave), 1, QStringLiteral("OK"),
                              QString());
        ImgButSave->setTag(0);
        ImgButSave->showReleased();
        return; // the recording goes on
    }
    const std::string incomplete =
        IncompleteRecordingQuestion(recorder_.Bytes(), midi_.LostInputEvents() - lostBefore_);
    if (!incomplete.empty() &&
        ui::ShowMessageDialog(QString::fromStdString(incomplete), 2, QStringLiteral("Save"),
                              QStringLiteral("Cancel")) != 1) {
        ImgButSave->setTag(0);
        ImgButSave->showReleased();
        return; // the recording goes on
    }
    const QString path = chooseSaveFile(this);
    if (!path.isEmpty()) {
        const FileResult saved = SaveSysexBuffer(midi_.sysex, path.toStdString());
        const QString savedText =
            ui::FromCore(FileFaultText(saved, Language::French, FileTask::SysexSave));
        if (!saved && saved.fault != FileFault::Short) {
            // The file could not be written: keep the window and the recording.
            QMessageBox::warning(this, QStringLiteral("Velmora"), savedText);
            ImgButSave->setTag(0);
            ImgButSave->showReleased();
            return;
        }
        if (saved.fault == FileFault::Short) {
            QMessageBox::warning(this, QStringLiteral("Velmora"), savedText);
        }
    }
    close();
}

void TrecordForm::ImgButRequestClick() {
    const std::optional<RequestChoice> choice = chooseRequest(this);
    if (!choice) {
        return;
    }
    const Request request = RequestFor(*choice);
    if (!request.ok) {
        showRequestProblem(
            this,
            QStringLiteral("This is no request: %1").arg(QString::fromStdString(request.error)));
        return;
    }
    if (const std::string why = SendRequest(midi_.MidiOutHandle(), request.bytes); !why.empty()) {
        showRequestProblem(this, QString::fromStdString(why));
        return;
    }
    // The reply's blocks replace this with their count as they come.
    if (recorder_.Length() == 0) {
        ui::SetElidedText(lblStatus,
                          QStringLiteral("Request sent (%1 bytes): waiting for the reply...")
                              .arg(request.bytes.size()),
                          QString());
    }
}

void TrecordForm::keyPressEvent(QKeyEvent* event) {
    if (!ui::EscapeCloses(event, [this] { close(); })) {
        QDialog::keyPressEvent(event);
    }
}

} // namespace velmora::sysex
