// A help hook for a program without its help file: it says where the help
// would open and offers nothing else.
#pragma once

#include <QString>

#include "help/help_hook.h"

namespace velmora::help {

class StandInHelp : public HelpHook {
public:
    bool OpenHelpContext(int context) override;
    int LastContext() const { return lastContext_; }
    // False in tests, where nothing may open a modal box.
    bool showMessages = true;

private:
    int lastContext_ = 0;
};

} // namespace velmora::help
