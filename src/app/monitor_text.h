// Keeps a read-only text box in step with a monitor's lines without
// rewriting it: the oldest lines go from the top, new ones join at the end.
//
// The box follows once per turn of the event loop: the changes asked for
// meanwhile are made together, then the caret is placed, before the window
// is next painted. A dump or a stream of messages brings lines far faster
// than anyone reads them, and laying out a changed box costs far more than
// keeping its lines. A change that others make to the box meanwhile (a
// clear) drops the changes still waiting, which were counted against the
// old text.
#pragma once

#include <QPlainTextEdit>
#include <span>
#include <string>

namespace velmora::app {

// Appends `lines` (Windows-1252 core texts) after the box's last line, then
// removes its first `dropLines` lines.
void AppendAndTrim(QPlainTextEdit& box, std::span<const std::string> lines, std::size_t dropLines);

// Puts the caret `fromEnd` characters before the end of the text (counted
// as the monitor's text counts them, with CR LF line ends) and shows it.
void PutCaretNearEnd(QPlainTextEdit& box, int fromEnd);

} // namespace velmora::app
