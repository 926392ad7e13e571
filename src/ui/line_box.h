// A read-only box of single-line rows, for a monitor that adds lines many
// times a second. It keeps its rows as strings and draws only the rows in
// view, straight from a table of the font's glyphs: a new row costs no text
// layout, and a frame costs one fill and one glyph run a row. (A text
// document lays out every line it is given and repaints through a layout
// per line: most of what a stream of messages cost the window.)
//
// It selects by characters (mouse, Shift+click, Select all), marks whole
// rows in a colour of their own (found lines), and scrolls by rows. The
// caret is not drawn: the box is read-only; it is where a selection ends.
// Rows with a character the table lacks (or whose glyph is wider than the
// space's, in a font that is not fixed-pitch) are drawn as text.
//
// Window thread only, like every widget.
#pragma once

#include <QAbstractScrollArea>
#include <QRawFont>
#include <array>
#include <compare>
#include <deque>
#include <map>
#include <span>
#include <vector>

namespace velmora::ui {

class TLineBox : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // A place between characters: before `column` of row `line`.
    struct Place {
        int line = 0;
        int column = 0;
        auto operator<=>(const Place&) const = default;
    };

    explicit TLineBox(QWidget* parent = nullptr);

    // ---- The rows
    int lineCount() const { return static_cast<int>(lines_.size()); }
    const QString& line(int i) const { return lines_[static_cast<std::size_t>(i)]; }
    QString toPlainText() const; // the rows joined by '\n'
    // Replaces every row; no selection, no marks, the caret at the start.
    void setLines(const QStringList& lines);
    // Appends `lines`, then the oldest `dropFirst` rows go (as one change:
    // a box that stays as full keeps its scroll bars as they are). A box
    // that showed its last row still does; one scrolled back keeps its rows
    // in view. A selection keeps its characters (what went of it goes with
    // them).
    void appendLines(std::span<const QString> lines, int dropFirst = 0);
    void clear();

    // ---- Caret and selection
    Place caret() const { return caret_; }
    bool hasSelection() const { return anchor_ != caret_; }
    Place selectionStart() const { return std::min(anchor_, caret_); }
    Place selectionEnd() const { return std::max(anchor_, caret_); }
    // Moves the caret; `keepAnchor` extends the selection to it, else the
    // selection goes. The place is kept within the rows.
    void setCaret(Place at, bool keepAnchor = false);
    // From `from` to `to`, each kept within the rows.
    void select(Place from, Place to);
    void selectAll();

    // ---- Marked rows, drawn full width in `color`
    void setMarks(std::vector<int> lines, const QColor& color = {});
    const std::vector<int>& marks() const { return marks_; }

    // ---- Scrolling, by rows
    int lineHeight() const;
    // Whole rows the box shows at once.
    int rowsInView() const;
    int margin() const { return kMargin; }
    // Lets the last rows scroll up to the middle of the box.
    void setCenterOnScroll(bool on);
    void ensureCaretVisible();
    void centerCaret();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    static constexpr int kMargin = 4;

    // The font's glyphs for Latin-1 text, with the one advance they share.
    struct Glyphs {
        QRawFont font;
        std::array<quint32, 256> index{}; // 0: not in the table
        qreal advance = 0;
        int ascent = 0;
        int lineHeight = 1;
        bool usable = false;
    };

    void BuildGlyphs();
    bool Drawable(const QString& row) const;
    qreal ColumnX(const QString& row, int column) const;
    int ColumnAt(const QString& row, qreal x) const;
    void DrawRow(QPainter& painter, int index, int top);
    Place PlaceAt(QPoint point) const;
    Place Clamped(Place at) const;
    int WidthOf(const QString& row) const;
    void AdjustScrollBars();
    void CountWidth(const QString& row, int change);
    void CountAllWidths();
    void ShowRows(int first, int last); // repaints when rows first..last show
    void Repaint();

    std::deque<QString> lines_;
    Place anchor_;
    Place caret_;
    std::vector<int> marks_; // ascending
    QColor markColor_;
    bool centerOnScroll_ = false;
    // How many rows are how wide, in pixels: the widest sets the scroll bar.
    std::map<int, int> widths_;
    Glyphs glyphs_;
    bool repaintAsked_ = false;
};

} // namespace velmora::ui
