#include "help/stand_in_help.h"

#include <QApplication>
#include <QMessageBox>

namespace velmora::help {

bool StandInHelp::OpenHelpContext(int context) {
    lastContext_ = context;
    if (showMessages) {
        QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Velmora"),
                                 QStringLiteral("The help file is not installed (topic %1).")
                                     .arg(context));
    }
    return false;
}

} // namespace velmora::help
