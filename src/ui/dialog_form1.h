// The skinned message dialog: a message in a status frame and one or two
// push buttons. Created once and reused; ShowMessageDialog fills it, shows it
// modally and returns 1 (first button, Enter) or 2 (second button, Escape,
// close box).
//
// Heights: the window is given a fixed client area of 438 x 117 for mode 1 and
// 438 x 148 otherwise. Those are the outer heights 146 and 177 less a frame of
// 29 pixels (a 23-pixel title bar and 3-pixel borders); the title bar and
// borders are the window manager's and vary between desktops, so the client
// area is what stays the same everywhere. Mode 1 ends below the first row of
// buttons (y 89 to 103); mode 2 below the second (y 113 to 127); the face
// holders at y 169 stay out of sight in both.
#pragma once

#include <QDialog>
#include <QLabel>

#include "ui/caption_label.h"
#include "ui/image_control.h"
#include "ui/push_button.h"

namespace velmora::ui {

class TdialogForm1 : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 438;
    static constexpr int kFrameHeight = 29;
    static int OuterHeightFor(int mode) { return mode == 1 ? 146 : mode == 2 ? 177 : 201; }
    static int ClientHeightFor(int mode) { return OuterHeightFor(mode) - kFrameHeight; }

    explicit TdialogForm1(QWidget* parent = nullptr);

    // Sets every property a showing depends on: title, texts, buttons, size.
    void Prepare(const QString& message, int mode, const QString& caption1,
                 const QString& caption2);
    // Mode 3: three buttons (results 1, 2, 3; Escape and the close box give
    // 3) and, beside them, the reason for the message in a few lines.
    void PrepareChoice(const QString& message, const QString& reason, const QString& caption1,
                       const QString& caption2, const QString& caption3);

    TImage* imgBG;
    TImage* ImgWinStatus;
    QLabel* lblStatus;
    TPushButton* ImgBut1;
    TCaptionLabel* lblBut1;
    TPushButton* ImgBut2;
    TCaptionLabel* lblBut2;
    TPushButton* ImgBut3;
    TCaptionLabel* lblBut3;
    QLabel* lblReason;
    TImage* ImgButOff; // face holders, below the visible area
    TImage* ImgButOn;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  public slots:
    // The close box: result 2.
    void reject() override;

  private:
    void centreOnScreen();
    int mode_ = 2;
};

// The one dialog, created on first use.
TdialogForm1& dialogForm1();

int ShowMessageDialog(const QString& message, int mode, const QString& caption1,
                      const QString& caption2);
int ShowChoiceDialog(const QString& message, const QString& reason, const QString& caption1,
                     const QString& caption2, const QString& caption3);

} // namespace velmora::ui
