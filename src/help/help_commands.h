// The help requests a program raises (a command and a data value, as the
// WinHelp-style help protocol has them), their names for the diagnostic log,
// and the program-wide help handler slot that one help hook takes over.
#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>

namespace velmora::help {

// Command numbers of the help protocol. Not macros: <windows.h> defines the
// HELP_* names itself.
enum HelpCommand : unsigned {
    kHelpContext = 1,
    kHelpQuit = 2,
    kHelpIndex = 3, // also "contents"
    kHelpHelpOnHelp = 4,
    kHelpSetIndex = 5, // also "set contents"
    kHelpContextPopup = 8,
    kHelpForceFile = 9,
    kHelpContextMenu = 10,
    kHelpFinder = 11,
    kHelpWmHelp = 12,
    kHelpSetPopupPos = 13,
    kHelpKey = 257,
    kHelpCommand = 258,
    kHelpPartialKey = 261,
    kHelpMultiKey = 513,
    kHelpSetWinPos = 515,
};

// "HELP_CONTEXT (1)", "HELP_INDEX or HELP_CONTENTS (3)", "?? (99)".
QString HelpCommandName(unsigned command);

// The data of a pop-up position request: x in the low 16 bits, y in the next
// 16, each a signed 16-bit number.
QPoint UnpackPopupPosition(std::intptr_t data);

// A help handler answers a request and says, through `callDefault`, whether
// the default help should run as well. It returns true when it handled it.
using HelpHandler = std::function<bool(unsigned command, std::intptr_t data, bool& callDefault)>;

// The program's help handler (window thread only). Installing returns the
// handler that was there, so that it can be put back.
HelpHandler InstallHelpHandler(HelpHandler handler);
const HelpHandler& CurrentHelpHandler();

// Hands a request to the program's help handler. Returns true when the
// default help should also run (no handler, or the handler asked for it).
bool RaiseHelpRequest(unsigned command, std::intptr_t data);

} // namespace velmora::help
