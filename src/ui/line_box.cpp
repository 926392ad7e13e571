#include "ui/line_box.h"

#include <QGlyphRun>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora::ui {
namespace {

// The raster engine hands a fill of 96 pixel rows or more to a pool of
// threads, which costs two thread wake-ups a fill: the ground is filled a
// row, or a strip, at a time.
constexpr int kStripHeight = 64;

void FillInStrips(QPainter& painter, const QRect& area, const QColor& color) {
    for (int y = area.top(); y <= area.bottom(); y += kStripHeight) {
        painter.fillRect(
            QRect(area.left(), y, area.width(), std::min(kStripHeight, area.bottom() + 1 - y)),
            color);
    }
}

} // namespace

TLineBox::TLineBox(QWidget* parent) : QAbstractScrollArea(parent) {
    // Every pixel is painted by the box itself, a row at a time.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    BuildGlyphs();
    AdjustScrollBars();
}

QString TLineBox::toPlainText() const {
    QString text;
    for (const QString& row : lines_) {
        if (&row != &lines_.front()) {
            text += '\n';
        }
        text += row;
    }
    return text;
}

void TLineBox::setLines(const QStringList& lines) {
    lines_.assign(lines.begin(), lines.end());
    anchor_ = caret_ = {};
    marks_.clear();
    CountAllWidths();
    AdjustScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    Repaint();
}

void TLineBox::appendLines(std::span<const QString> lines, int dropFirst) {
    const int first = lineCount();
    for (const QString& row : lines) {
        lines_.push_back(row);
        CountWidth(row, 1);
    }
    const int count = std::clamp(dropFirst, 0, lineCount());
    if (count == 0) {
        if (!lines.empty()) {
            AdjustScrollBars();
            ShowRows(first, lineCount() - 1);
        }
        return;
    }
    const int top = verticalScrollBar()->value();
    const bool atEnd = top == verticalScrollBar()->maximum();
    for (auto row = lines_.begin(); row != lines_.begin() + count; ++row) {
        CountWidth(*row, -1);
    }
    lines_.erase(lines_.begin(), lines_.begin() + count);
    for (Place* place : {&anchor_, &caret_}) {
        place->line -= count;
        if (place->line < 0) {
            *place = {};
        }
    }
    std::erase_if(marks_, [count](int line) { return line < count; });
    for (int& line : marks_) {
        line -= count;
    }
    AdjustScrollBars();
    verticalScrollBar()->setValue(atEnd ? verticalScrollBar()->maximum()
                                        : std::max(0, top - count));
    Repaint();
}

void TLineBox::clear() {
    setLines({});
}

void TLineBox::setCaret(Place at, bool keepAnchor) {
    const bool hadSelection = hasSelection();
    caret_ = Clamped(at);
    if (!keepAnchor) {
        anchor_ = caret_;
    }
    // The caret itself is not drawn: only a selection shows.
    if (hadSelection || hasSelection()) {
        Repaint();
    }
}

void TLineBox::select(Place from, Place to) {
    setCaret(from);
    setCaret(to, true);
}

void TLineBox::selectAll() {
    select({}, {lineCount(), 0});
}

void TLineBox::setMarks(std::vector<int> lines, const QColor& color) {
    std::sort(lines.begin(), lines.end());
    if (lines.empty() && marks_.empty()) {
        return;
    }
    marks_ = std::move(lines);
    markColor_ = color.isValid() ? color : palette().color(QPalette::Highlight);
    Repaint();
}

int TLineBox::lineHeight() const {
    return glyphs_.lineHeight;
}

// A stream adds rows many times between two frames: the first change asks
// for the frame, the rest find it asked for.
void TLineBox::Repaint() {
    if (!repaintAsked_) {
        repaintAsked_ = true;
        viewport()->update();
    }
}

int TLineBox::rowsInView() const {
    return std::max(1, (viewport()->height() - 2 * kMargin) / lineHeight());
}

void TLineBox::setCenterOnScroll(bool on) {
    centerOnScroll_ = on;
    AdjustScrollBars();
}

void TLineBox::ensureCaretVisible() {
    QScrollBar* bar = verticalScrollBar();
    const int rows = rowsInView();
    if (caret_.line < bar->value()) {
        bar->setValue(caret_.line);
    } else if (caret_.line >= bar->value() + rows) {
        bar->setValue(caret_.line - rows + 1);
    }
}

void TLineBox::centerCaret() {
    verticalScrollBar()->setValue(caret_.line - rowsInView() / 2);
}

// ---- Drawing -----------------------------------------------------------------

void TLineBox::BuildGlyphs() {
    glyphs_ = {};
    glyphs_.lineHeight = std::max(1, fontMetrics().lineSpacing());
    glyphs_.ascent = fontMetrics().ascent();
    const QRawFont raw = QRawFont::fromFont(font());
    if (!raw.isValid()) {
        return;
    }
    qreal advance = 0;
    for (int c = 0x20; c < 0x100; ++c) {
        if (c >= 0x7F && c < 0xA0) {
            continue;
        }
        const QChar ch(c);
        quint32 index = 0;
        int count = 1;
        if (!raw.glyphIndexesForChars(&ch, 1, &index, &count) || count != 1 || index == 0) {
            continue;
        }
        const qreal width = raw.advancesForGlyphIndexes(QList<quint32>{index}).value(0).x();
        if (advance == 0) {
            advance = width; // the space's
        }
        // A glyph of another width is drawn as text, where the font lays it out.
        if (width == advance) {
            glyphs_.index[static_cast<std::size_t>(c)] = index;
        }
    }
    glyphs_.font = raw;
    glyphs_.advance = advance;
    glyphs_.usable = advance > 0 && glyphs_.index[' '] != 0;
}

bool TLineBox::Drawable(const QString& row) const {
    if (!glyphs_.usable) {
        return false;
    }
    return std::all_of(row.begin(), row.end(), [this](QChar c) {
        return c.unicode() < 256 && glyphs_.index[c.unicode()] != 0;
    });
}

qreal TLineBox::ColumnX(const QString& row, int column) const {
    column = std::clamp(column, 0, static_cast<int>(row.size()));
    return Drawable(row) ? column * glyphs_.advance
                         : QFontMetricsF(font()).horizontalAdvance(row.left(column));
}

int TLineBox::ColumnAt(const QString& row, qreal x) const {
    const int size = static_cast<int>(row.size());
    if (Drawable(row)) {
        return std::clamp(static_cast<int>(std::lround(x / glyphs_.advance)), 0, size);
    }
    const QFontMetricsF metrics(font());
    int column = 0;
    while (column < size && metrics.horizontalAdvance(row.left(column + 1)) -
                                    metrics.horizontalAdvance(row.at(column)) / 2 <
                                x) {
        ++column;
    }
    return column;
}

// Trailing blanks take no room, as in a text layout: a row padded to its
// columns needs no scroll bar for them.
int TLineBox::WidthOf(const QString& row) const {
    auto end = static_cast<int>(row.size());
    while (end > 0 && row.at(end - 1) == ' ') {
        --end;
    }
    return static_cast<int>(std::ceil(ColumnX(row, end)));
}

void TLineBox::CountWidth(const QString& row, int change) {
    const auto it = widths_.try_emplace(WidthOf(row), 0).first;
    it->second += change;
    if (it->second <= 0) {
        widths_.erase(it);
    }
}

void TLineBox::CountAllWidths() {
    widths_.clear();
    for (const QString& row : lines_) {
        CountWidth(row, 1);
    }
}

void TLineBox::paintEvent(QPaintEvent* event) {
    repaintAsked_ = false;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int height = lineHeight();
    const int top = verticalScrollBar()->value();
    const QColor ground = palette().color(QPalette::Base);
    FillInStrips(painter, QRect(area.left(), 0, area.width(), kMargin) & area, ground);
    int rowTop = kMargin;
    int index = top;
    if (area.top() > kMargin) {
        index += (area.top() - kMargin) / height;
        rowTop += (index - top) * height;
    }
    painter.setFont(font());
    for (; index < lineCount() && rowTop <= area.bottom(); ++index, rowTop += height) {
        DrawRow(painter, index, rowTop);
    }
    FillInStrips(painter, QRect(area.left(), rowTop, area.width(), area.bottom() + 1 - rowTop),
                 ground);
}

void TLineBox::DrawRow(QPainter& painter, int index, int top) {
    const QString& row = line(index);
    const int height = lineHeight();
    const int width = viewport()->width();
    const qreal left = kMargin - horizontalScrollBar()->value();
    const bool marked = std::binary_search(marks_.begin(), marks_.end(), index);
    painter.fillRect(QRect(0, top, width, height),
                     marked ? markColor_ : palette().color(QPalette::Base));

    QRectF selected;
    const Place from = selectionStart();
    const Place to = selectionEnd();
    if (hasSelection() && from.line <= index && index <= to.line) {
        const qreal x1 = left + (from.line == index ? ColumnX(row, from.column) : 0);
        // A selection that goes on to the next row takes this row's line end.
        const qreal x2 = to.line == index ? left + ColumnX(row, to.column)
                                          : left + ColumnX(row, static_cast<int>(row.size())) +
                                                QFontMetricsF(font()).horizontalAdvance(' ');
        selected = QRectF(x1, top, x2 - x1, height);
        painter.fillRect(selected, palette().color(QPalette::Highlight));
    }

    // The row's glyphs are gathered once, and drawn again over a selection.
    const QPointF origin(left, top + glyphs_.ascent);
    QGlyphRun run;
    if (Drawable(row)) {
        // Only the characters in view, and no glyph for a space.
        const int size = static_cast<int>(row.size());
        const int first = std::clamp(static_cast<int>(-left / glyphs_.advance), 0, size);
        const int last =
            std::clamp(static_cast<int>((width - left) / glyphs_.advance) + 1, first, size);
        QList<quint32> indexes;
        QList<QPointF> positions;
        indexes.reserve(last - first);
        positions.reserve(last - first);
        for (int i = first; i < last; ++i) {
            const char16_t c = row.at(i).unicode();
            if (c != ' ') {
                indexes.push_back(glyphs_.index[c]);
                positions.push_back(QPointF(i * glyphs_.advance, 0));
            }
        }
        run.setRawFont(glyphs_.font);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
    }
    auto draw = [&] {
        if (run.rawFont().isValid()) {
            if (!run.glyphIndexes().isEmpty()) {
                painter.drawGlyphRun(origin, run);
            }
        } else {
            painter.drawText(origin, row);
        }
    };
    painter.setPen(palette().color(QPalette::Text));
    draw();
    if (!selected.isEmpty()) {
        painter.save();
        painter.setClipRect(selected);
        painter.setPen(palette().color(QPalette::HighlightedText));
        draw();
        painter.restore();
    }
}

void TLineBox::ShowRows(int first, int last) {
    const int top = verticalScrollBar()->value();
    const int y1 = kMargin + (first - top) * lineHeight();
    const int y2 = kMargin + (last + 1 - top) * lineHeight();
    if (y2 > 0 && y1 < viewport()->height()) {
        Repaint();
    }
}

void TLineBox::AdjustScrollBars() {
    const int rows = rowsInView();
    const int count = lineCount();
    int last = std::max(0, count - rows);
    if (centerOnScroll_) {
        last = std::max(last, count - 1 - rows / 2);
    }
    const int inside = viewport()->width();
    // Only what changed: a change lays out and repaints the bar.
    auto set = [](QScrollBar* bar, int single, int page, int maximum) {
        if (bar->singleStep() != single || bar->pageStep() != page) {
            bar->setSingleStep(single);
            bar->setPageStep(page);
        }
        if (bar->minimum() != 0 || bar->maximum() != maximum) {
            bar->setRange(0, maximum);
        }
    };
    set(verticalScrollBar(), 1, rows, last);
    set(horizontalScrollBar(), std::max(1, static_cast<int>(glyphs_.advance)), inside,
        std::max(0, (widths_.empty() ? 0 : widths_.rbegin()->first) + 2 * kMargin - inside));
}

void TLineBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // A box that showed its last row still does (when a scroll bar comes).
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    AdjustScrollBars();
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void TLineBox::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        BuildGlyphs();
        CountAllWidths();
        AdjustScrollBars();
    }
    Repaint();
}

void TLineBox::scrollContentsBy(int, int) {
    Repaint();
}

// ---- The user's hands ----------------------------------------------------------

TLineBox::Place TLineBox::Clamped(Place at) const {
    if (lines_.empty() || at.line < 0) {
        return {};
    }
    if (at.line >= lineCount()) {
        return {lineCount() - 1, static_cast<int>(lines_.back().size())};
    }
    at.column = std::clamp(at.column, 0, static_cast<int>(line(at.line).size()));
    return at;
}

TLineBox::Place TLineBox::PlaceAt(QPoint point) const {
    const int offset = point.y() - kMargin;
    const int row = verticalScrollBar()->value() +
                    (offset < 0 ? -1 - (-offset - 1) / lineHeight() : offset / lineHeight());
    if (lines_.empty() || row < 0) {
        return {};
    }
    if (row >= lineCount()) {
        return Clamped({row, std::numeric_limits<int>::max()});
    }
    const qreal x = point.x() - kMargin + horizontalScrollBar()->value();
    return {row, ColumnAt(line(row), x)};
}

void TLineBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setCaret(PlaceAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TLineBox::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    // Dragging past the top or bottom scrolls a row a move.
    const QPoint at = event->position().toPoint();
    if (at.y() < 0) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (at.y() >= viewport()->height()) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    setCaret(PlaceAt(at), true);
}

// A double click takes the whole row.
void TLineBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const Place at = PlaceAt(event->position().toPoint());
    select({at.line, 0}, {at.line, std::numeric_limits<int>::max()});
}

// The keys scroll, as in any read-only text box.
void TLineBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    struct Scroll {
        int key;
        bool across;
        QAbstractSlider::SliderAction action;
    };
    static constexpr Scroll kScrolls[] = {
        {Qt::Key_Up, false, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Down, false, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_PageUp, false, QAbstractSlider::SliderPageStepSub},
        {Qt::Key_PageDown, false, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Space, false, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Home, false, QAbstractSlider::SliderToMinimum},
        {Qt::Key_End, false, QAbstractSlider::SliderToMaximum},
        {Qt::Key_Left, true, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Right, true, QAbstractSlider::SliderSingleStepAdd},
    };
    for (const Scroll& scroll : kScrolls) {
        if (event->key() == scroll.key) {
            (scroll.across ? horizontalScrollBar() : verticalScrollBar())
                ->triggerAction(scroll.action);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace velmora::ui
