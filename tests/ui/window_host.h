// A shown top-level window for controls under test, and mouse helpers that
// act through the window system as a user's pointer would.
#pragma once

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace velmora::ui::testing {

class WindowHost : public QWidget {
  public:
    WindowHost() {
        resize(300, 120);
        setWindowTitle(QStringLiteral("host"));
    }
    // Shows the window and waits until it can take input.
    void showReady() {
        show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(this));
    }
};

inline void Press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint at = {}) {
    QTest::mousePress(widget, button, Qt::NoModifier, at.isNull() ? widget->rect().center() : at);
}

inline void Release(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint at = {}) {
    QTest::mouseRelease(widget, button, Qt::NoModifier, at.isNull() ? widget->rect().center() : at);
}

inline void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
    Press(widget, button);
    Release(widget, button);
}

} // namespace velmora::ui::testing
