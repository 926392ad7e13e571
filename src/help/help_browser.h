// The page view of the help viewer: a text browser that reads the pages and
// pictures of the compiled help file through the help engine (qthelp://
// addresses) and hands other links (web, mail) to the desktop.
#pragma once

#include <QTextBrowser>

class QHelpEngineCore;

namespace velmora::help {

class THelpBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit THelpBrowser(QHelpEngineCore& engine, QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

  private:
    void FollowLink(const QUrl& link);

    QHelpEngineCore& engine_;
};

} // namespace velmora::help
