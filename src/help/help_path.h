// The path a help viewer is given for a help file and a window definition.
#pragma once

#include <QString>

namespace velmora::help {

// How help is shown: through Velmora's own viewer, or by starting one of the
// two external viewers from the viewer folder.
enum HostKind : int {
    kOwnViewer = 0,
    kKeyHHViewer = 1, // "KeyHH.EXE"
    kHHViewer = 2,    // "HH.EXE"
};

// The prefix the "HH.EXE" viewer wants in front of a compiled help file.
inline const QString kStorePrefix = QStringLiteral("mk:@MSITStore:");

// In `file` and `windowDefinition` every "%20" becomes a blank and the ends
// are trimmed of blanks. With a window definition the path is definition +
// ">" + file. Host kind 2 puts kStorePrefix in front.
QString ViewerPath(const QString& file, const QString& windowDefinition, int hostKind);

// A path of ViewerPath (host kind 0) taken apart again.
struct ViewerPathParts {
    QString windowDefinition; // empty when there is none
    QString file;
};
ViewerPathParts SplitViewerPath(const QString& path);

} // namespace velmora::help
