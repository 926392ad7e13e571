// The outcomes of a help request and the warnings that report them.
#pragma once

#include <QString>

namespace velmora::help {

enum HelpResult : int {
    kHelpShown = 0,
    kNoHelpViewer = 1,       // the help viewer can't work on this machine
    kKeyHHMissing = 2,       // "KeyHH.EXE" is not in the viewer folder
    kHHMissing = 3,          // "HH.EXE" is not in the viewer folder
    kHelpFileMissing = 4,    // no help file where the program looks for it
    kHelpFileUnreadable = 5, // the help file can't be opened as help
    kUnknownHostKind = 6,
};

// The warning for a result other than kHelpShown; `helpFile` names the file
// of results 4 and 5.
QString HelpErrorText(int result, const QString& helpFile);

} // namespace velmora::help
