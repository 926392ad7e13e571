// What the windows ask of the help: open it at a context number. The main
// window owns one hook for the program's whole run.
#pragma once

namespace velmora::help {

class HelpHook {
  public:
    virtual ~HelpHook() = default;
    // Opens the help at the topic of `context` (1001: the presentation).
    virtual bool OpenHelpContext(int context) = 0;
    // Closes every help window the program opened.
    virtual void CloseAll() {}
};

} // namespace velmora::help
