#include "sysex/request_menu.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>

#include "sysex/transfer_texts.h"

namespace velmora::sysex {

std::optional<RequestChoice> AskForRequest(QWidget* parent, QPoint at) {
    QMenu menu(parent);
    for (const RequestEntry& entry : kRequestList) {
        menu.addAction(QString::fromLatin1(entry.label))->setData(static_cast<int>(entry.kind));
    }
    const QAction* picked = menu.exec(at);
    if (picked == nullptr) {
        return std::nullopt;
    }
    RequestChoice choice{static_cast<RequestKind>(picked->data().toInt()), {}};
    if (choice.kind == RequestKind::File) {
        const QString path = QFileDialog::getOpenFileName(
            parent, QStringLiteral("Load a request"), QString(),
            QStringLiteral("Sysex Files (*.%1)").arg(QString::fromLatin1(kSysexFileExtension)));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        choice.text = path.toStdString();
    } else if (choice.kind == RequestKind::Hex) {
        bool ok = false;
        const QString text = QInputDialog::getText(
            parent, QStringLiteral("Send request"),
            QStringLiteral("Hexadecimal bytes, one or more sysex messages (F0 ... F7):"),
            QLineEdit::Normal, QStringLiteral("F0 7E 7F 06 01 F7"), &ok);
        if (!ok) {
            return std::nullopt;
        }
        choice.text = text.toStdString();
    }
    return choice;
}

} // namespace velmora::sysex
