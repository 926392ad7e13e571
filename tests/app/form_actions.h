// What a user does to the main window, through the window system: mouse
// presses and releases on pictures and captions, keys, choosing an entry
// from a drop-down list. The tests are built with QTEST_QPA_MOUSE_HANDLING,
// so a press grabs the mouse as a real one does.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "main_form_fixture.h"

namespace velmora::testing {

inline void Press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(widget, button, Qt::NoModifier, widget->rect().center());
}

inline void Release(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(widget, button, Qt::NoModifier, widget->rect().center());
}

inline void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
    Press(widget, button);
    Release(widget, button);
}

// Opens the list's drop-down and clicks its entry `index`, as a user
// chooses an entry (also the one already chosen).
inline void ChooseEntry(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 5000));
    const QModelIndex entry = combo->model()->index(index, combo->modelColumn());
    view->scrollTo(entry);
    const QPoint at = view->visualRect(entry).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 5000))
        << "the drop-down did not close";
}

// The panel shown at the right: the one at x = 136; the others stand at x = 1000.
inline QWidget* ShownPanel(app::TmainForm& form) {
    QWidget* shown = nullptr;
    for (QWidget* panel : {form.PanelSetup, form.PanelData, form.PanelSysex, form.PanelAbout}) {
        if (panel->x() == 136 && panel->y() == 8 && panel->isVisible()) {
            EXPECT_EQ(shown, nullptr) << "two panels shown";
            shown = panel;
        } else {
            EXPECT_EQ(panel->pos(), QPoint(1000, 8)) << panel->objectName().toStdString();
        }
    }
    return shown;
}

// A fixture with a started window that can take input.
// A settings file's bytes: each line ends with CR LF.
inline QByteArray Lines(std::initializer_list<const char*> lines) {
    QByteArray bytes;
    for (const char* line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

class MainFormTest : public ::testing::Test {
  protected:
    app::TmainForm& Start() {
        app::TmainForm& form = rig.Start();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    MainFormRig rig;
};

} // namespace velmora::testing
