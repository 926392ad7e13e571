#include "ui/push_button.h"

#include "ui/skin_pictures.h"

namespace velmora::ui {

TPushButton::TPushButton(QWidget* parent) : TImageControl(parent) {
    setFaces(skin::ButtonFacePicture(false), skin::ButtonFacePicture(true));
}

void TPushButton::leftPress() {
    showPressed();
    emit pressed();
}

void TPushButton::leftRelease(bool) {
    if (releaseFace_ == ReleaseFace::BeforeAction) {
        showReleased();
    }
    // The action may close the window, or even delete this button.
    QPointer<TPushButton> alive(this);
    if (action_) {
        action_();
    }
    if (alive) {
        emit clicked();
    }
    if (alive && releaseFace_ == ReleaseFace::AfterAction) {
        showReleased();
    }
}

void ShowPushButtonsReleased(QWidget* window) {
    for (TPushButton* button : window->findChildren<TPushButton*>()) {
        button->showReleased();
    }
}

} // namespace velmora::ui
