#include "app/monitor_text.h"

#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <deque>
#include <optional>

#include "ui/from_core.h"

namespace velmora::app {
namespace {

int LineCount(const QTextDocument& doc) {
    return doc.isEmpty() ? 0 : doc.blockCount();
}

// Makes the change at once. Positions are set, not moved to: a cursor move
// lays out the line it starts from, which for a sysex block means shaping
// thousands of characters. (A box whose only line is empty cannot be told
// from an empty box; the monitors never leave one: the newest lines stay.)
void Apply(QPlainTextEdit& box, const std::deque<std::string>& lines, std::size_t dropLines) {
    QTextDocument* doc = box.document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    const auto oldLines = static_cast<std::size_t>(LineCount(*doc));
    std::size_t skip = 0; // new lines that are dropped as well
    if (dropLines >= oldLines) {
        skip = dropLines - oldLines;
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
        dropLines = 0;
    }
    // New lines first, then the oldest go: what stays never has to be told
    // from an empty box.
    cursor.setPosition(doc->characterCount() - 1);
    bool first = doc->isEmpty();
    for (std::size_t i = skip; i < lines.size(); ++i) {
        if (!first) {
            cursor.insertBlock();
        }
        cursor.insertText(ui::FromCore(lines[i]));
        first = false;
    }
    if (dropLines > 0) {
        cursor.setPosition(0);
        cursor.setPosition(doc->findBlockByNumber(static_cast<int>(dropLines)).position(),
                           QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}

void PlaceCaret(QPlainTextEdit& box, int fromEnd) {
    // The user's selection stays: the box only shows its end.
    if (box.textCursor().hasSelection()) {
        box.verticalScrollBar()->setValue(box.verticalScrollBar()->maximum());
        return;
    }
    // The monitor's text ends every line with CR LF, the last one included;
    // the box separates its lines with one character and has no final break.
    // Walk back line by line to the same place.
    QTextBlock block = box.document()->lastBlock();
    int position = block.position() + block.length() - 1; // the end of the text
    int remaining = fromEnd - 2;
    while (remaining > 0) {
        const int inBlock = position - block.position();
        if (remaining <= inBlock) {
            position -= remaining;
            break;
        }
        remaining -= inBlock + 2; // the characters of this line and the CR LF before it
        position = block.position();
        block = block.previous();
        if (!block.isValid()) {
            break;
        }
        position = block.position() + block.length() - 1;
        if (remaining < 0) {
            break;
        }
    }
    QTextCursor cursor(box.document());
    cursor.setPosition(position);
    box.setTextCursor(cursor);
    box.ensureCursorVisible();
    // A line wider than the box (a source or time column) shows its start.
    box.horizontalScrollBar()->setValue(0);
}

// What waits for a box until the next turn of the event loop.
class PendingChanges : public QObject {
  public:
    explicit PendingChanges(QPlainTextEdit& box) : QObject(&box), box_(box) {
        connect(box.document(), &QTextDocument::contentsChanged, this, [this] {
            if (!applying_) {
                lines_.clear(); // the box was changed otherwise: start from its new text
                dropLines_ = 0;
            }
        });
    }

    // Asked once per message: the box used last is remembered (a box of its
    // own, not another one made later at the same address).
    static PendingChanges& Of(QPlainTextEdit& box) {
        static QPointer<PendingChanges> last;
        if (last && &last->box_ == &box) {
            return *last;
        }
        PendingChanges* found = nullptr;
        for (QObject* child : box.children()) {
            if (auto* pending = dynamic_cast<PendingChanges*>(child)) {
                found = pending;
                break;
            }
        }
        last = found != nullptr ? found : new PendingChanges(box);
        return *last;
    }

    void Add(std::span<const std::string> lines, std::size_t dropLines) {
        lines_.insert(lines_.end(), lines.begin(), lines.end());
        dropLines_ += dropLines;
        // New lines already dropped again need not wait.
        const auto boxLines = static_cast<std::size_t>(LineCount(*box_.document()));
        while (dropLines_ > boxLines && !lines_.empty()) {
            lines_.pop_front();
            --dropLines_;
        }
        Schedule();
    }

    void Caret(int fromEnd) {
        caretFromEnd_ = fromEnd;
        Schedule();
    }

  private:
    void Schedule() {
        if (scheduled_) {
            return;
        }
        scheduled_ = true;
        QMetaObject::invokeMethod(
            this, [this] { Follow(); }, Qt::QueuedConnection);
    }

    void Follow() {
        scheduled_ = false;
        applying_ = true;
        if (!lines_.empty() || dropLines_ > 0) {
            // A box left where the user scrolled to keeps its lines in view
            // as the oldest go from its top.
            QScrollBar* bar = box_.verticalScrollBar();
            const int top = bar->value();
            const auto dropped = static_cast<int>(std::min<std::size_t>(dropLines_, 1 << 30));
            Apply(box_, lines_, dropLines_);
            if (!caretFromEnd_ && dropped > 0) {
                bar->setValue(std::max(0, top - dropped));
            }
            lines_.clear();
            dropLines_ = 0;
        }
        if (caretFromEnd_) {
            PlaceCaret(box_, *caretFromEnd_);
            caretFromEnd_.reset();
        }
        applying_ = false;
    }

    QPlainTextEdit& box_;
    std::deque<std::string> lines_;
    std::size_t dropLines_ = 0; // from the top of the box's lines followed by lines_
    std::optional<int> caretFromEnd_;
    bool scheduled_ = false;
    bool applying_ = false;
};

} // namespace

void AppendAndTrim(QPlainTextEdit& box, std::span<const std::string> lines, std::size_t dropLines) {
    PendingChanges::Of(box).Add(lines, dropLines);
}

void PutCaretNearEnd(QPlainTextEdit& box, int fromEnd) {
    PendingChanges::Of(box).Caret(fromEnd);
}

} // namespace velmora::app
