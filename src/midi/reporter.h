// Where MIDI operations report their failures: the program shows each text
// in a plain message box, the command line prints it, tests record it.
#pragma once

#include <string>

namespace velmora::midi {

class Reporter {
  public:
    virtual ~Reporter() = default;
    // May be called from the window thread and from the MIDI delivery thread.
    virtual void Report(const std::string& text) = 0;
};

} // namespace velmora::midi
