#include "help/help_path.h"

namespace velmora::help {
namespace {

// Blanks only: a tab or a line break in a name is left alone, as the viewers
// would see it.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text[last - 1] == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

QString Clean(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("%20"), QStringLiteral(" "));
    return TrimBlanks(out);
}

} // namespace

QString ViewerPath(const QString& file, const QString& windowDefinition, int hostKind) {
    const QString cleanFile = Clean(file);
    const QString cleanWindow = Clean(windowDefinition);
    QString path = cleanWindow.isEmpty() ? cleanFile : cleanWindow + QLatin1Char('>') + cleanFile;
    if (hostKind == kHHViewer) {
        path.prepend(kStorePrefix);
    }
    return path;
}

ViewerPathParts SplitViewerPath(const QString& path) {
    // A window definition holds no '>' and no path separator; a file path
    // may hold a '>' of its own, so only a leading plain name counts.
    const qsizetype mark = path.indexOf(QLatin1Char('>'));
    if (mark > 0) {
        const QString head = path.left(mark);
        if (!head.contains(QLatin1Char('/')) && !head.contains(QLatin1Char('\\'))) {
            return {head, path.mid(mark + 1)};
        }
    }
    return {QString(), path};
}

} // namespace velmora::help
