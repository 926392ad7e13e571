// Keeps a read-only text box in step with a monitor's lines without
// rewriting it: the oldest lines go from the top, new ones join at the end.
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
