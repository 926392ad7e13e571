#include "help/search_query.h"

#include <QStringList>

namespace velmora::help {
namespace {

// Letters, digits and '_' make a word of the query language; a '*' at the
// end asks for every word that starts so.
bool PlainWord(const QString& word) {
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word[i];
        const bool lastStar = c == u'*' && i == word.size() - 1 && i > 0;
        if (!c.isLetterOrNumber() && c != u'_' && !lastStar) {
            return false;
        }
    }
    return true;
}

} // namespace

QString FullTextQuery(const QString& typed) {
    QStringList words;
    for (const QString& word : typed.simplified().split(u' ', Qt::SkipEmptyParts)) {
        const QString& w = word;
        // The operators' names are words to look for too ("and", "not").
        if (PlainWord(w) && w != u"AND" && w != u"OR" && w != u"NOT" && w != u"NEAR") {
            words << w;
        } else {
            words << u'"' + QString(w).replace(u'"', QStringLiteral("\"\"")) + u'"';
        }
    }
    return words.join(u' ');
}

} // namespace velmora::help
