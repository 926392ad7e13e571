// Failure texts of MIDI operations in plain message boxes. A text reported
// from the MIDI thread is shown on the window thread, without making the
// MIDI thread wait.
#pragma once

#include <QObject>

#include "midi/reporter.h"

namespace velmora::app {

class MessageBoxReporter : public QObject, public midi::Reporter {
  public:
    void Report(const std::string& text) override;
};

} // namespace velmora::app
