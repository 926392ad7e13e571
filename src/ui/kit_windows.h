// Lifetime of the kit's single windows (the picture store and the message
// dialog): each is created on first use and deleted when the application is
// about to quit, or earlier by DestroyKitWindows. Widgets must go before the
// QApplication does, so a program without an event loop (a test) calls
// DestroyKitWindows itself.
#pragma once

class QWidget;

namespace velmora::ui {

// Deletes `window` at quit or at DestroyKitWindows, whichever comes first.
void DeleteAtQuit(QWidget* window);

void DestroyKitWindows();

} // namespace velmora::ui
