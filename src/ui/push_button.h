// A push button of the skin: a 35 x 14 face picture. A left press shows the
// pressed face; the release of that button runs the action wherever the
// pointer is by then, and shows the released face before or after the action,
// or leaves the pressed face for a button that closes its window. Other mouse
// buttons do nothing. The tag is free for the window's own use.
#pragma once

#include <functional>

#include "ui/image_control.h"

namespace velmora::ui {

class TPushButton : public TImageControl {
    Q_OBJECT
  public:
    enum class ReleaseFace { AfterAction, BeforeAction, LeftPressed };

    // Faces: the skin's released and pressed button faces.
    explicit TPushButton(QWidget* parent = nullptr);

    void setReleaseFace(ReleaseFace order) { releaseFace_ = order; }
    ReleaseFace releaseFace() const { return releaseFace_; }

    // Runs on the release, before the clicked signal.
    void setAction(std::function<void()> action) { action_ = std::move(action); }

    void showReleased() { showFace(false); }
    void showPressed() { showFace(true); }
    bool showsPressed() const { return showsOnFace(); }

  signals:
    void pressed(); // the pressed face shows
    void clicked(); // the action: the left button came up

  protected:
    void leftPress() override;
    void leftRelease(bool overSource) override;

  private:
    ReleaseFace releaseFace_ = ReleaseFace::AfterAction;
    std::function<void()> action_;
};

// Shows every push button of `window` released, as each window does each
// time it is shown. A button whose faces are swapped (one that rests
// pressed) shows its resting face.
void ShowPushButtonsReleased(QWidget* window);

} // namespace velmora::ui
