#include <QFontDatabase>
#include <QImage>
#include <QScrollBar>

#include "ui/line_box.h"
#include "window_host.h"

using namespace velmora::ui;
using namespace velmora::ui::testing;
using Place = TLineBox::Place;

namespace {

// A shown box of `rows` rows "row 0", "row 1", ..., padded with blanks.
struct ShownBox {
    explicit ShownBox(int rows) {
        box = new TLineBox(&host);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(8);
        box->setFont(font);
        box->setGeometry(0, 0, 240, 8 + 5 * box->lineHeight() + 2 * box->frameWidth());
        QStringList lines;
        for (int i = 0; i < rows; ++i) {
            lines << QStringLiteral("row %1    ").arg(i);
        }
        box->setLines(lines);
        host.showReady();
    }
    QPoint At(int row, int column) const {
        const QString& line = box->line(row);
        const int x = box->margin() + box->fontMetrics().horizontalAdvance(line.left(column));
        const int y = box->margin() + (row - box->verticalScrollBar()->value()) * box->lineHeight();
        return {x, y + box->lineHeight() / 2};
    }
    WindowHost host;
    TLineBox* box = nullptr;
};

int PixelsOf(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == color ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST(LineBox, RowsComeAndGoWhileTheViewTheSelectionAndTheMarksKeepTheirRows) {
    ShownBox shown(20);
    TLineBox& box = *shown.box;
    QScrollBar* bar = box.verticalScrollBar();
    EXPECT_EQ(box.rowsInView(), 5);
    EXPECT_EQ(bar->maximum(), 15);
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0); // trailing blanks take no room

    // At its end the box stays at its end; scrolled back, its rows stay in view.
    bar->setValue(bar->maximum());
    const QString more[] = {"row 20", "row 21", QString(80, 'w')};
    box.appendLines(more, 3);
    EXPECT_EQ(box.lineCount(), 20);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
    bar->setValue(5);
    box.setCaret({6, 2});
    box.setCaret({7, 3}, true);
    box.setMarks({7, 12});
    box.appendLines(std::span(more, 2), 4);
    EXPECT_EQ(box.line(bar->value()), QStringLiteral("row 8    "));
    EXPECT_EQ(box.selectionStart(), (Place{2, 2}));
    EXPECT_EQ(box.selectionEnd(), (Place{3, 3}));
    EXPECT_EQ(box.marks(), (std::vector<int>{3, 8}));
    // The wide row goes with the selection and the marks: the scroll bar
    // narrows again.
    box.appendLines({}, 16);
    EXPECT_EQ(box.toPlainText(), QStringLiteral("row 20\nrow 21"));
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(box.hasSelection());
    EXPECT_EQ(box.marks(), std::vector<int>{});
}

TEST(LineBox, TheMouseSelectsCharactersADoubleClickARowAndRowsAreDrawnInTheirColours) {
    ShownBox shown(8);
    TLineBox& box = *shown.box;
    // Rows with a character the glyph table lacks are drawn too.
    box.setLines({QStringLiteral("plain row"), QStringLiteral("r\u00e9 \u20ac \u65e5"),
                  QStringLiteral("third row"), QStringLiteral("fourth")});
    QWidget* inside = box.viewport();
    QTest::mousePress(inside, Qt::LeftButton, Qt::NoModifier, shown.At(0, 2));
    QTest::mouseMove(inside, shown.At(2, 5));
    QTest::mouseRelease(inside, Qt::LeftButton, Qt::NoModifier, shown.At(2, 5));
    EXPECT_EQ(box.selectionStart(), (Place{0, 2}));
    EXPECT_EQ(box.selectionEnd(), (Place{2, 5}));
    QTest::mouseClick(inside, Qt::LeftButton, Qt::ShiftModifier, shown.At(3, 1));
    EXPECT_EQ(box.selectionEnd(), (Place{3, 1}));
    QTest::mouseDClick(inside, Qt::LeftButton, Qt::NoModifier, shown.At(0, 1));
    EXPECT_EQ(box.selectionStart(), (Place{0, 0}));
    EXPECT_EQ(box.selectionEnd(), (Place{0, 9}));

    QPalette palette = box.palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Text, Qt::green);
    palette.setColor(QPalette::Highlight, Qt::blue);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    box.setPalette(palette);
    box.setMarks({2}, Qt::red);
    const QImage drawn = inside->grab().toImage();
    EXPECT_GT(PixelsOf(drawn, Qt::green), 0);
    EXPECT_GT(PixelsOf(drawn, Qt::blue), 0);
    EXPECT_GT(PixelsOf(drawn, Qt::white), 0);
    EXPECT_GE(PixelsOf(drawn, Qt::red), box.lineHeight() * (inside->width() - 40));

    QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(box.selectionStart(), (Place{0, 0}));
    EXPECT_EQ(box.selectionEnd(), (Place{3, 6}));
}
