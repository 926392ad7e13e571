#include "app/monitor_text.h"

#include <QTextBlock>
#include <QTextCursor>

#include "ui/from_core.h"

namespace velmora::app {

void AppendAndTrim(QPlainTextEdit& box, std::span<const std::string> lines, std::size_t dropLines) {
    QTextDocument* doc = box.document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool first = doc->isEmpty();
    for (const auto& line : lines) {
        if (!first) {
            cursor.insertBlock();
        }
        cursor.insertText(ui::FromCore(line));
        first = false;
    }
    if (dropLines > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                            static_cast<int>(dropLines));
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}

void PutCaretNearEnd(QPlainTextEdit& box, int fromEnd) {
    // The monitor's text ends every line with CR LF, the last one included;
    // the box separates its lines with one character and has no final break.
    // Walk back line by line to the same place.
    QTextCursor cursor(box.document());
    cursor.movePosition(QTextCursor::End);
    int remaining = fromEnd - 2;
    while (remaining > 0) {
        const int inBlock = cursor.positionInBlock();
        if (remaining <= inBlock) {
            cursor.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, remaining);
            break;
        }
        remaining -= inBlock + 2; // the characters of this line and the CR LF before it
        cursor.movePosition(QTextCursor::StartOfBlock);
        if (!cursor.movePosition(QTextCursor::PreviousBlock)) {
            break;
        }
        cursor.movePosition(QTextCursor::EndOfBlock);
        if (remaining < 0) {
            break;
        }
    }
    box.setTextCursor(cursor);
    box.ensureCursorVisible();
}

} // namespace velmora::app
