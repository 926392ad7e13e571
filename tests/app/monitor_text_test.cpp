// A monitor's text box following its lines: many changes in one turn of the
// event loop, a clear in between, and the caret's place.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <gtest/gtest.h>

#include "app/monitor_text.h"

using velmora::app::AppendAndTrim;
using velmora::app::PutCaretNearEnd;

namespace {

std::vector<std::string> Numbered(int from, int to) {
    std::vector<std::string> lines;
    for (int i = from; i <= to; ++i) {
        lines.push_back("line " + std::to_string(i));
    }
    return lines;
}

std::vector<std::string> Lines(std::initializer_list<const char*> texts) {
    return {texts.begin(), texts.end()};
}

QString Joined(const std::vector<std::string>& lines) {
    QStringList text;
    for (const auto& line : lines) {
        text << QString::fromStdString(line);
    }
    return text.join('\n');
}

} // namespace

TEST(MonitorText, ChangesOfOneTurnAreMadeTogetherInOrder) {
    QPlainTextEdit box;
    AppendAndTrim(box, Numbered(1, 3), 0);
    // Nothing changes before the event loop turns.
    EXPECT_TRUE(box.toPlainText().isEmpty());
    QApplication::processEvents();
    EXPECT_EQ(box.toPlainText(), Joined(Numbered(1, 3)));

    // Lines counted over the box's lines and the new ones: 1..3 plus 4..6
    // less the first 2, then 7..20 less 13 more (some of them new).
    AppendAndTrim(box, Numbered(4, 6), 2);
    AppendAndTrim(box, Numbered(7, 20), 13);
    QApplication::processEvents();
    EXPECT_EQ(box.toPlainText(), Joined(Numbered(16, 20)));

    // Everything dropped, then new lines.
    AppendAndTrim(box, {}, 5);
    AppendAndTrim(box, Numbered(21, 22), 0);
    QApplication::processEvents();
    EXPECT_EQ(box.toPlainText(), Joined(Numbered(21, 22)));
}

TEST(MonitorText, AClearDropsWhatWaitsForTheBox) {
    QPlainTextEdit box;
    AppendAndTrim(box, Numbered(1, 30), 0);
    QApplication::processEvents();
    AppendAndTrim(box, Numbered(31, 40), 10);
    box.clear();
    AppendAndTrim(box, Numbered(41, 42), 0);
    QApplication::processEvents();
    EXPECT_EQ(box.toPlainText(), Joined(Numbered(41, 42)));
}

TEST(MonitorText, EmptyLinesAreKept) {
    QPlainTextEdit box;
    AppendAndTrim(box, Lines({"Block #1 (1 bytes)", "F0 ", ""}), 0);
    AppendAndTrim(box, Lines({"Block #2 (1 bytes)", "F7 ", ""}), 3);
    QApplication::processEvents();
    EXPECT_EQ(box.document()->blockCount(), 3);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("Block #2 (1 bytes)\nF7 \n"));

    // The oldest lines go up to an empty one, which stays above the new ones.
    AppendAndTrim(box, Lines({"Block #3 (1 bytes)", "F0 ", ""}), 2);
    QApplication::processEvents();
    EXPECT_EQ(box.document()->blockCount(), 4);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("\nBlock #3 (1 bytes)\nF0 \n"));
}

TEST(MonitorText, CaretCountsTheMonitorsCrLfLineEnds) {
    QPlainTextEdit box;
    AppendAndTrim(box, Lines({"Block #1 (2 bytes)", "F0 F7 ", ""}), 0);
    PutCaretNearEnd(box, 5); // right after the last byte
    QApplication::processEvents();
    EXPECT_EQ(box.textCursor().blockNumber(), 1);
    EXPECT_EQ(box.textCursor().positionInBlock(), 5);

    AppendAndTrim(box, Lines({"90 3C 64    Note On "}), 3);
    PutCaretNearEnd(box, 3); // before the last character of the last line
    QApplication::processEvents();
    EXPECT_EQ(box.textCursor().blockNumber(), 0);
    EXPECT_EQ(box.textCursor().positionInBlock(), 19);

    // Further back than the text reaches: the start.
    PutCaretNearEnd(box, 500);
    QApplication::processEvents();
    EXPECT_EQ(box.textCursor().position(), 0);
}
