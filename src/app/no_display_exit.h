// Starting the window system without a display: Qt would abort (exit 134)
// with its advice to reinstall. While a NoDisplayExit lives (around the
// making of the QApplication), that failure prints one clear sentence and
// exits with status 1 instead; Qt's other messages of that time are held
// back and passed on once the application stands.
#pragma once

#include <QtGlobal>

namespace velmora::app {

class NoDisplayExit {
  public:
    NoDisplayExit();
    ~NoDisplayExit();
    NoDisplayExit(const NoDisplayExit&) = delete;
    NoDisplayExit& operator=(const NoDisplayExit&) = delete;
};

} // namespace velmora::app
