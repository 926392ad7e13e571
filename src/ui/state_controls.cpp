#include "ui/state_controls.h"

#include "ui/skin_pictures.h"

namespace velmora::ui {

THeldButton::THeldButton(QWidget* parent) : TImageControl(parent) {
    setFaces(skin::ButtonFacePicture(false), skin::ButtonFacePicture(true));
}

void THeldButton::leftRelease(bool overSource) {
    if (!overSource) {
        return;
    }
    if (lightOnClick_) {
        setLit(true);
    }
    emit clicked();
}

TLedCheckBox::TLedCheckBox(QWidget* parent) : TImageControl(parent) {
    setFaces(skin::LedPicture(false), skin::LedPicture(true));
}

void TLedCheckBox::leftRelease(bool overSource) {
    if (!overSource) {
        return;
    }
    setChecked(!isChecked());
    emit toggled(isChecked());
}

TOpenSwitch::TOpenSwitch(Kind kind, QWidget* parent) : TImageControl(parent) {
    if (kind == Kind::Thru) {
        setFaces(skin::ThruSwitchPicture(false), skin::ThruSwitchPicture(true));
    } else {
        setFaces(skin::OpenSwitchPicture(false), skin::OpenSwitchPicture(true));
    }
}

void TOpenSwitch::setStateTexts(const QString& closed, const QString& open) {
    closedText_ = closed;
    openText_ = open;
    tagChanged();
}

void TOpenSwitch::tagChanged() {
    showFaceOfTag();
    setToolTip(isOpen() ? openText_ : closedText_);
}

void TOpenSwitch::leftRelease(bool overSource) {
    if (overSource) {
        emit clicked();
    }
}

TLed::TLed(QWidget* parent) : TImageControl(parent) {
    setFaces(skin::LedPicture(false), skin::LedPicture(true));
    setCursor(Qt::ArrowCursor);
}

} // namespace velmora::ui
