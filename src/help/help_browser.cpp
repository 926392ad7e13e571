#include "help/help_browser.h"

#include <QDesktopServices>
#include <QtHelp/QHelpEngineCore>

namespace velmora::help {

namespace {
const QString kHelpScheme = QStringLiteral("qthelp");
}

THelpBrowser::THelpBrowser(QHelpEngineCore& engine, QWidget* parent)
    : QTextBrowser(parent), engine_(engine) {
    // Links are followed here: QTextBrowser would hand qthelp:// ones to the
    // desktop, which knows nothing of them.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &THelpBrowser::FollowLink);
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() == kHelpScheme) {
        return engine_.fileData(url);
    }
    return QTextBrowser::loadResource(type, url);
}

void THelpBrowser::FollowLink(const QUrl& link) {
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (url.scheme() == kHelpScheme) {
        setSource(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

} // namespace velmora::help
