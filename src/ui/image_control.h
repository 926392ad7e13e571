// Pictures and picture controls. TImage shows a picture at its logical size
// (backgrounds, status frames, face holders). TImageControl adds what every
// control of the skin shares: a hand cursor, an integer tag holding its state,
// a pair of faces, and left-button handling that its caption labels share.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "ui/control_tag.h"

namespace velmora::ui {

class TCaptionLabel;

class TImage : public QWidget {
    Q_OBJECT
  public:
    explicit TImage(QWidget* parent = nullptr);
    TImage(const QPixmap& picture, QWidget* parent);

    // Shows `picture` and takes its logical size.
    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
};

class TImageControl : public TImage {
    Q_OBJECT
  public:
    explicit TImageControl(QWidget* parent = nullptr);

    // The state. Code reads the tag, never the picture.
    int tag() const { return tag_.get(); }
    void setTag(int value);

    // Shares the tag with `shared` (read by the MIDI thread); the control
    // takes the value `shared` holds now.
    void bindTag(std::atomic<int>& shared);
    bool tagIsBound() const { return tag_.isBound(); }

    // The two faces: `off` for tag 0 or released, `on` for lit or pressed.
    void setFaces(const QPixmap& off, const QPixmap& on);
    const QPixmap& offFace() const { return offFace_; }
    const QPixmap& onFace() const { return onFace_; }
    void showFace(bool on);
    bool showsOnFace() const { return showsOn_; }

  protected:
    // After every change of the tag. Controls whose face follows the tag show it here.
    virtual void tagChanged() {}

    // The left button went down on the picture or one of its captions.
    virtual void leftPress() {}
    // That left button came up; `overSource` when the pointer is still over
    // the picture or caption it went down on.
    virtual void leftRelease(bool overSource) { (void)overSource; }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // Controls whose face is their tag: tag 0 shows the off face.
    void showFaceOfTag() { showFace(tag() != 0); }

  private:
    friend class TCaptionLabel;
    void handlePress(QMouseEvent* event, QWidget* source);
    void handleRelease(QMouseEvent* event, QWidget* source);

    ControlTag tag_;
    QPixmap offFace_;
    QPixmap onFace_;
    bool showsOn_ = false;
    QPointer<QWidget> pressSource_; // where the left button went down
};

} // namespace velmora::ui
