#include "app/details_view.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QResizeEvent>
#include <QTextBlock>
#include <QToolTip>
#include <algorithm>
#include <charconv>

#include "core/cp1252.h"
#include "core/hex_message_parser.h"
#include "core/scrollback.h"
#include "ui/from_core.h"
#include "ui/skin_palette.h"

namespace velmora::app {
namespace {

// Names kept for the blocks of the sysex monitor: more than its text holds.
constexpr std::size_t kMaxBlockNames = 4096;
constexpr int kRatesRefreshMs = 500;
// The clocks given to the decoder at one look: as many as its rate uses.
constexpr std::uint64_t kClocksFed = 96;

std::int64_t Us(std::int32_t ms) {
    return std::int64_t{ms} * 1000;
}

// The decoder speaks UTF-8; the monitors' texts are single-byte.
std::string CoreText(std::string text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? text : Utf8ToCp1252(text);
}

// The block number of a header line "Block #12 (6 bytes)"; nothing for
// other lines.
std::optional<int> HeaderNumber(std::string_view line) {
    constexpr std::string_view kHead = "Block #";
    if (!line.starts_with(kHead)) {
        return std::nullopt;
    }
    int number = 0;
    const char* first = line.data() + kHead.size();
    const auto [end, error] = std::from_chars(first, line.data() + line.size(), number);
    if (error != std::errc() || end == first ||
        !std::string_view(end, line.data() + line.size()).starts_with(" (")) {
        return std::nullopt;
    }
    return number;
}

QLabel* LineLabel(QWidget* parent, Qt::Alignment align) {
    auto* l = new QLabel(parent);
    l->setFont(ui::skin::CaptionFont(false));
    l->setStyleSheet(ui::skin::LabelStyle(ui::skin::DetailsText()));
    l->setAlignment(align | Qt::AlignVCenter);
    l->hide();
    return l;
}

} // namespace

DetailsView::DetailsView(DetailsPlaces places)
    : QObject(places.window), places_(std::move(places)) {
    lblDetails = LineLabel(places_.dataPanel, Qt::AlignLeft);
    lblDetails->setObjectName(QStringLiteral("lblDetails"));
    lblRates = LineLabel(places_.dataPanel, Qt::AlignRight);
    lblRates->setObjectName(QStringLiteral("lblRates"));
    RatesTimer = new QTimer(this);
    RatesTimer->setInterval(kRatesRefreshMs);
    connect(RatesTimer, &QTimer::timeout, this, &DetailsView::RefreshRates);
    RatesTimer->start();
    for (QWidget* w : places_.rowLabels) {
        w->installEventFilter(this);
    }
    for (QWidget* w : places_.rateWidgets) {
        w->installEventFilter(this);
    }
    places_.sysexBox->viewport()->installEventFilter(this);
}

void DetailsView::Feed(ShortMessage message, std::int32_t ms) {
    last_ = CoreText(decoder_.Short(message, Us(ms)));
}

void DetailsView::ShowLine() {
    rows_ = pending_;
    if (!on_ || !tall_) {
        return;
    }
    const int room =
        lblDetails->width() - (!lblRates->isHidden() ? lblRates->sizeHint().width() + 12 : 0);
    lblDetails->setText(lblDetails->fontMetrics().elidedText(ui::FromCore(rows_), Qt::ElideRight,
                                                             std::max(0, room)));
    lblDetails->setToolTip(ui::FromCore(rows_));
    lblDetails->setVisible(!rows_.empty());
}

void DetailsView::ClearLine() {
    pending_.clear();
    rows_.clear();
    lblDetails->clear();
    lblDetails->hide();
}

void DetailsView::AddColumn(std::string& line) const {
    if (ColumnShown()) {
        AddDetailsColumn(line, last_);
    }
}

void DetailsView::NameBlock(std::string& header, int blockNumber, std::string_view hexText) {
    // Names of blocks before a clear would be found again under new numbers.
    blockNames_.erase(blockNames_.lower_bound(blockNumber), blockNames_.end());
    if (!hexText.starts_with("F0")) {
        return; // the rest of a long message
    }
    std::string name = CoreText(decoder_.Sysex(ParseHexBytes(hexText, hexText.size()).bytes));
    if (name.empty()) {
        return;
    }
    if (ColumnShown()) {
        AddDetailsColumn(header, name);
    }
    blockNames_.emplace(blockNumber, std::move(name));
    if (blockNames_.size() > kMaxBlockNames) {
        blockNames_.erase(blockNames_.begin());
    }
}

void DetailsView::NameHeaders(std::string& text) const {
    if (!ColumnShown() || blockNames_.empty()) {
        return;
    }
    std::string named;
    named.reserve(text.size());
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (const auto number = HeaderNumber(line)) {
            AddDetailsColumn(line, BlockName(*number));
        }
        named += line;
        if (end < text.size()) {
            named += '\n';
        }
        start = end + 1;
    }
    text = std::move(named);
}

std::string DetailsView::BlockName(int blockNumber) const {
    const auto it = blockNames_.find(blockNumber);
    return it == blockNames_.end() ? std::string() : it->second;
}

void DetailsView::Place(int extraWidth, int extraHeight) {
    const bool wide = extraWidth >= kMinColumnRoom;
    tall_ = extraHeight >= kLineHeight;
    QWidget* box = places_.historyBox;
    if (on_ && tall_) {
        box->resize(box->width(), box->height() - kLineHeight);
        const QRect line(box->x() + 2, box->geometry().bottom() + 1, box->width() - 4, kLineHeight);
        lblDetails->setGeometry(line);
        lblRates->setGeometry(line);
        RefreshRates();
        ShowLine();
    } else {
        lblDetails->hide();
        lblRates->hide();
    }
    if (wide != wide_) {
        wide_ = wide;
        ShownChanged();
    }
}

void DetailsView::SetOn(bool on) {
    if (on == on_) {
        return;
    }
    on_ = on;
    // The window lays itself out again: the line takes its room from the
    // history box, or gives it back.
    QResizeEvent relayout(places_.window->size(), places_.window->size());
    QCoreApplication::sendEvent(places_.window, &relayout);
    ShownChanged();
}

void DetailsView::ShownChanged() {
    places_.rebuildBoxes();
}

void DetailsView::CatchUpClocks() {
    const midi::InputPathState& path = *places_.path;
    const std::uint64_t count = path.clocksReceived.load(std::memory_order_acquire);
    const std::int32_t lastMs = path.lastClockMs.load(std::memory_order_relaxed);
    const std::uint64_t arrived = count - clocksSeen_;
    if (arrived == 0) {
        return;
    }
    clocksSeen_ = count;
    // The clocks since the last look are taken as evenly spaced up to the
    // newest; after a stop (or at the first look) only the newest counts.
    const std::int64_t spanUs =
        seenClockMs_ ? (std::int64_t{lastMs} - *seenClockMs_) * 1000 : std::int64_t{0};
    const bool spaced = spanUs > 0 && spanUs <= 1'000'000;
    const std::uint64_t fed = spaced ? std::min<std::uint64_t>(arrived, kClocksFed) : 1;
    for (std::uint64_t i = fed; i > 0; --i) {
        const auto before =
            static_cast<std::int64_t>(i - 1) * spanUs / static_cast<std::int64_t>(arrived);
        decoder_.Short(kTimingClock, Us(lastMs) - before);
    }
    seenClockMs_ = lastMs;
}

std::string DetailsView::Rates() {
    CatchUpClocks();
    return CoreText(decoder_.Rates(Us(places_.nowMs())));
}

void DetailsView::RefreshRates() {
    const std::string rates = Rates();
    if (!on_ || !tall_) {
        return;
    }
    lblRates->setText(ui::FromCore(rates));
    lblRates->setVisible(!rates.empty());
}

bool DetailsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || !on_) {
        return QObject::eventFilter(watched, event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    std::string text;
    if (watched == places_.sysexBox->viewport()) {
        const QTextBlock block = places_.sysexBox->cursorForPosition(help->pos()).block();
        if (const auto number = HeaderNumber(block.text().toStdString())) {
            text = BlockName(*number);
        }
    } else if (std::find(places_.rowLabels.begin(), places_.rowLabels.end(), watched) !=
               places_.rowLabels.end()) {
        text = rows_;
    } else {
        text = Rates();
        if (text.empty()) {
            text = "No timing clock or active sensing in the last second";
        }
    }
    if (text.empty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), ui::FromCore(text), qobject_cast<QWidget*>(watched));
    }
    return true;
}

} // namespace velmora::app
