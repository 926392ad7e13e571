#include "ui/dialog_form1.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <algorithm>

#include "ui/escape_key.h"
#include "ui/kit_windows.h"
#include "ui/rg_form.h"
#include "ui/skin_palette.h"

namespace velmora::ui {

TdialogForm1::TdialogForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    const TRGForm& store = RGForm();
    imgBG = new TImage(store.imgBG(), this);
    imgBG->move(0, -2);
    ImgWinStatus = new TImage(store.ImgWinStatus(), this);
    ImgWinStatus->move(24, 30);

    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setFont(skin::CaptionFont(true));
    lblStatus->setAlignment(Qt::AlignCenter);
    QPalette green = lblStatus->palette();
    green.setColor(QPalette::WindowText, skin::Green());
    lblStatus->setPalette(green);
    // A fixed width: a longer message is cut at the label's edges.
    lblStatus->setGeometry(32, 39, 369, std::max(16, lblStatus->fontMetrics().height()));

    ImgButOff = new TImage(store.ImgButOff(), this);
    ImgButOff->move(8, 169);
    ImgButOff->hide();
    ImgButOn = new TImage(store.ImgButOn(), this);
    ImgButOn->move(56, 169);
    ImgButOn->hide();

    const auto makeButton = [this](int y, int result, TPushButton*& picture,
                                   TCaptionLabel*& caption) {
        picture = new TPushButton(this);
        picture->setFaces(ImgButOff->picture(), ImgButOn->picture());
        picture->setReleaseFace(TPushButton::ReleaseFace::LeftPressed);
        picture->move(328, y);
        picture->setAction([this, result] { done(result); });
        caption = new TCaptionLabel({}, TCaptionLabel::Style::Button, this);
        caption->move(366, y);
        caption->setControl(picture);
    };
    makeButton(89, 1, ImgBut1, lblBut1);
    makeButton(113, 2, ImgBut2, lblBut2);
    makeButton(137, 3, ImgBut3, lblBut3);
    lblReason = new QLabel(this);
    lblReason->setTextFormat(Qt::PlainText);
    lblReason->setWordWrap(true);
    lblReason->setFont(skin::CaptionFont(false));
    lblReason->setPalette(green);
    lblReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblReason->setGeometry(24, 89, 296, 70);

    for (QWidget* child : findChildren<QWidget*>()) {
        child->setFocusPolicy(Qt::NoFocus);
    }
    setFocusPolicy(Qt::StrongFocus);
    Prepare({}, 2, {}, {});
}

void TdialogForm1::Prepare(const QString& message, int mode, const QString& caption1,
                           const QString& caption2) {
    setWindowTitle(QStringLiteral(" Velmora"));
    lblStatus->setText(message);
    lblBut1->setText(caption1);
    lblBut1->adjustSize();
    lblBut2->setText(caption2);
    lblBut2->adjustSize();
    const bool second = mode != 1;
    ImgBut2->setVisible(second);
    lblBut2->setVisible(second);
    ImgBut3->setVisible(mode == 3);
    lblBut3->setVisible(mode == 3);
    lblReason->setVisible(mode == 3);
    mode_ = mode;
    setFixedSize(kClientWidth, ClientHeightFor(mode));
}

void TdialogForm1::PrepareChoice(const QString& message, const QString& reason,
                                 const QString& caption1, const QString& caption2,
                                 const QString& caption3) {
    Prepare(message, 3, caption1, caption2);
    lblBut3->setText(caption3);
    lblBut3->adjustSize();
    lblReason->setText(reason);
    lblReason->setToolTip(reason);
}

void TdialogForm1::showEvent(QShowEvent* event) {
    ShowPushButtonsReleased(this);
    centreOnScreen();
    setFocus();
    QDialog::showEvent(event);
}

void TdialogForm1::centreOnScreen() {
    QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (where == nullptr) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
}

void TdialogForm1::keyPressEvent(QKeyEvent* event) {
    // The window sees the keys first; Escape, then Enter, each on its own.
    bool handled = EscapeCloses(event, [this] { done(mode_ == 3 ? 3 : 2); });
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        done(1);
        handled = true;
    }
    if (handled) {
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void TdialogForm1::reject() {
    done(mode_ == 3 ? 3 : 2);
}

TdialogForm1& dialogForm1() {
    static QPointer<TdialogForm1> instance;
    if (instance.isNull()) {
        instance = new TdialogForm1;
        DeleteAtQuit(instance);
    }
    return *instance;
}

int ShowMessageDialog(const QString& message, int mode, const QString& caption1,
                      const QString& caption2) {
    TdialogForm1& dialog = dialogForm1();
    dialog.Prepare(message, mode, caption1, caption2);
    return dialog.exec();
}

int ShowChoiceDialog(const QString& message, const QString& reason, const QString& caption1,
                     const QString& caption2, const QString& caption3) {
    TdialogForm1& dialog = dialogForm1();
    dialog.PrepareChoice(message, reason, caption1, caption2, caption3);
    return dialog.exec();
}

} // namespace velmora::ui
