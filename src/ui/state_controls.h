// Picture controls whose face shows their tag (0 = off face, else on face):
// the held button, the LED check box, the port and thru switches and the
// indicator LED. A click is a left press and release over the same picture
// or caption.
#pragma once

#include "ui/image_control.h"

namespace velmora::ui {

// Lit (tag 1, pressed face) for as long as what its click started lasts:
// the window calls setLit(false) when that ends.
class THeldButton : public TImageControl {
    Q_OBJECT
  public:
    explicit THeldButton(QWidget* parent = nullptr);

    void setLit(bool lit) { setTag(lit ? 1 : 0); }
    bool isLit() const { return tag() != 0; }

    // Whether a click lights the button before `clicked` (on by default).
    void setLightOnClick(bool light) { lightOnClick_ = light; }

  signals:
    void clicked();

  protected:
    void tagChanged() override { showFaceOfTag(); }
    void leftRelease(bool overSource) override;

  private:
    bool lightOnClick_ = true;
};

// A 9 x 9 LED showing an option: a click flips tag and picture.
class TLedCheckBox : public TImageControl {
    Q_OBJECT
  public:
    explicit TLedCheckBox(QWidget* parent = nullptr);

    void setChecked(bool checked) { setTag(checked ? 1 : 0); }
    bool isChecked() const { return tag() != 0; }

  signals:
    void toggled(bool checked); // after a click flipped it

  protected:
    void tagChanged() override { showFaceOfTag(); }
    void leftRelease(bool overSource) override;
};

// A 34 x 12 switch showing whether a port (or thru) is open. The picture
// follows the tag set by code; a click only asks the window, which tries to
// open or close and sets the tag to the result.
class TOpenSwitch : public TImageControl {
    Q_OBJECT
  public:
    enum class Kind { Port, Thru }; // ImgOpenOn/Off or ImgThruOn/Off faces

    explicit TOpenSwitch(Kind kind = Kind::Port, QWidget* parent = nullptr);

    void setOpen(bool open) { setTag(open ? 1 : 0); }
    bool isOpen() const { return tag() != 0; }

    // Tooltips that say the state in words, following the tag.
    void setStateTexts(const QString& closed, const QString& open);

  signals:
    void clicked();

  protected:
    void tagChanged() override;
    void leftRelease(bool overSource) override;

  private:
    QString closedText_, openText_;
};

// An indicator LED: lit while its tag is not 0 (a time stamp, for example).
// It takes no clicks.
class TLed : public TImageControl {
    Q_OBJECT
  public:
    explicit TLed(QWidget* parent = nullptr);

  protected:
    // A new stamp on a lit LED draws nothing: a stream restamps it at every message.
    void tagChanged() override {
        if (showsOnFace() != (tag() != 0)) {
            showFaceOfTag();
        }
    }
};

} // namespace velmora::ui
