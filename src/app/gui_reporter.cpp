#include "app/gui_reporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace velmora::app {

void MessageBoxReporter::Report(const std::string& text) {
    const QString message = QString::fromStdString(text);
    auto show = [message] {
        QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("Velmora"), message);
    };
    if (QThread::currentThread() == thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
    }
}

} // namespace velmora::app
