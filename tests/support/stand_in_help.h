// A help hook for windows under test: it notes the topic asked for and opens
// nothing, so no help window or message box stops a test.
#pragma once

#include "help/help_hook.h"

namespace velmora::testing {

class StandInHelp : public help::HelpHook {
  public:
    bool OpenHelpContext(int context) override {
        lastContext_ = context;
        return false;
    }
    int LastContext() const { return lastContext_; }

  private:
    int lastContext_ = 0;
};

} // namespace velmora::testing
