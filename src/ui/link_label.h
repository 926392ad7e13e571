// A support link: a label with a hand cursor whose text is an e-mail address.
// While the pointer is over it, or over the caption before it, it turns blue
// and underlined; a click on the link itself asks the desktop to open
// "mailto: " followed by the address.
#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace velmora::ui {

inline const QString kSupportAddress = QStringLiteral("support@velmora.app");

class TLinkLabel : public QLabel {
    Q_OBJECT
  public:
    using Opener = std::function<void(const QUrl&)>;

    explicit TLinkLabel(const QString& address = kSupportAddress, QWidget* parent = nullptr);

    // The colour when the pointer is elsewhere (green by default).
    void setNormalColour(const QColor& colour);

    // Entering or leaving `caption` highlights the link as its own would.
    void addHoverCaption(QWidget* caption);

    // How the link is opened; QDesktopServices::openUrl by default.
    void setOpener(Opener opener) { opener_ = std::move(opener); }

    bool isHighlighted() const { return highlighted_; }
    QUrl mailUrl() const;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void highlight(bool on);

    QColor normalColour_;
    bool highlighted_ = false;
    bool pressed_ = false;
    Opener opener_;
};

} // namespace velmora::ui
