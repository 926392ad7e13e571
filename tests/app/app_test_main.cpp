// The main window's tests share one QApplication, on the offscreen platform
// unless another one is asked for.
#include <QApplication>
#include <gtest/gtest.h>

#include "ui/kit_windows.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const int result = RUN_ALL_TESTS();
    velmora::ui::DestroyKitWindows();
    return result;
}
