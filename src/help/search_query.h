// What the help viewer's search box asks of the help engine's full-text
// index. The index cuts "velmora-cli" into the words "velmora" and "cli",
// and its query language takes a hyphen or a dot for an operator: a word
// holding such signs is asked as a phrase of its parts, so that
// "velmora-cli", ".syx" and "C#3" find the pages that write them.
#pragma once

#include <QString>

namespace velmora::help {

QString FullTextQuery(const QString& typed);

} // namespace velmora::help
