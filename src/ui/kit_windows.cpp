#include "ui/kit_windows.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace velmora::ui {
namespace {

std::vector<QPointer<QWidget>>& Owned() {
    static std::vector<QPointer<QWidget>> windows;
    return windows;
}

} // namespace

void DeleteAtQuit(QWidget* window) {
    static QPointer<QCoreApplication> watched;
    if (watched != QCoreApplication::instance()) {
        watched = QCoreApplication::instance();
        QObject::connect(watched, &QCoreApplication::aboutToQuit, &DestroyKitWindows);
    }
    Owned().emplace_back(window);
}

void DestroyKitWindows() {
    // Last created first: the dialog before the store it copied from.
    std::vector<QPointer<QWidget>> windows;
    windows.swap(Owned());
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        delete it->data();
    }
}

} // namespace velmora::ui
