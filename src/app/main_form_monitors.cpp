// The monitors beyond the texts they always show: pause, the scrollback with its
// filters and time column, search, saving, the context menu and shortcuts,
// the window's size. With every option at its default the boxes show what
// they always did: the 26 newest history lines, the sysex monitor's text.
// A larger window's history box shows as many of the newest lines as fit.
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTime>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>
#include <limits>

#include "app/main_form.h"
#include "app/monitor_text.h"
#include "app/settings_location.h"
#include "core/safe_file.h"
#include "ui/from_core.h"
#include "ui/skin_palette.h"
#include "ui/skin_widgets.h"

namespace velmora::app {
namespace {

static_assert(MonitorView::kShortLines == EventsHistory::kLimit / 67);
constexpr int kMaxHighlights = 5000;
constexpr int kMaxSide = 8192;

std::optional<int> StoredNumber(const SettingsFile& settings, std::string_view key) {
    const auto text = settings.ReadIniText(key);
    int value = 0;
    if (!text || text->empty()) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

// The filter menu's labels, with a letter to choose each from the keyboard
// (the menu's own keys: right-click or the Menu key, then the letter).
constexpr std::array<const char*, kHistoryKinds.size()> kKindMenuTexts{
    "&Notes", "C&ontrollers", "&Program change", "Pitch &bend",      "&Aftertouch",
    "&Sysex", "&Clock",       "Active s&ensing", "Other &real-time", "S&ystem common"};

// Channels 1 to 10 are chosen by their last digit.
QString ChannelMenuText(int channel) {
    const QString text = QStringLiteral("Channel %1").arg(channel);
    return channel <= 10 ? QString(text).insert(text.size() - 1, '&') : text;
}

QString MenuStyle() {
    return QStringLiteral("QMenu { background: black; color: %1; border: 1px solid %2; }"
                          "QMenu::item { padding: 3px 18px 3px 20px; }"
                          "QMenu::item:selected { background: %3; color: %4; }"
                          "QMenu::item:disabled { color: %3; }"
                          "QMenu::separator { height: 1px; background: %3; margin: 3px 6px; }")
        .arg(ui::skin::DetailsText().name(), ui::skin::MenuFrame().name(),
             ui::skin::Highlight().name(), ui::skin::HighlightText().name());
}

} // namespace

// ---- Building and settings ---------------------------------------------------

void TmainForm::BuildMonitorControls() {
    view_.SetStartTimeOfDay(QTime::currentTime().msecsSinceStartOfDay());
    auto status = [](QWidget* parent, int x, int y, int w) {
        auto* l = new QLabel(parent);
        l->setFont(ui::skin::CaptionFont(false));
        l->setStyleSheet(ui::skin::LabelStyle(ui::skin::NoticeAmber()));
        l->setGeometry(x, y, w, 15);
        l->hide();
        return l;
    };
    // Left of the band's centred title; the lost-input count is at its right.
    lblHistoryStatus = status(PanelData, 12, 104, 184);
    lblHistoryStatus->setObjectName(QStringLiteral("lblHistoryStatus"));
    lblSysexStatus = status(PanelSysex, 104, 6, 124);
    lblSysexStatus->setObjectName(QStringLiteral("lblSysexStatus"));
    // Over the box's bottom right corner while the box holds.
    lblHoldMark = new QLabel(PanelData);
    lblHoldMark->setObjectName(QStringLiteral("lblHoldMark"));
    lblHoldMark->setFont(ui::skin::CaptionFont(false));
    lblHoldMark->setStyleSheet(QStringLiteral("color: black; background: rgb(255, 200, 0); "
                                              "padding: 0 4px;"));
    lblHoldMark->setToolTip(QStringLiteral("The history holds where you scrolled to. End (or "
                                           "scrolling to the bottom) follows the newest lines."));
    lblHoldMark->hide();
    lblHistoryBand->setToolTip(
        QStringLiteral("Right-click the history for pause, find, filters, the time column, "
                       "keeping the last %L1 lines and saving. Scrolling back holds it; End "
                       "follows the newest lines again.")
            .arg(static_cast<qulonglong>(view_.scrollback().Capacity())));
    // The history box follows again when the user brings it to its bottom.
    connect(Memo2->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        QScrollBar* bar = Memo2->verticalScrollBar();
        if (!view_.Following() && bar->sliderPosition() >= bar->maximum()) {
            FollowIfAtBottomSoon();
        } else if (view_.Following() && bar->sliderPosition() < bar->maximum()) {
            HoldHistory();
        }
    });

    edtFind = new QLineEdit(PanelData);
    edtFind->setObjectName(QStringLiteral("edtFind"));
    edtFind->setPlaceholderText(QStringLiteral("Find in the events history (Enter: next, "
                                               "Shift+Enter: previous, Esc: close)"));
    edtFind->setFont(ui::skin::CaptionFont(false));
    edtFind->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3; }")
            .arg(ui::skin::FindGround().name(), ui::skin::HighlightText().name(),
                 ui::skin::MonitorText().name()));
    edtFind->hide();
    connect(edtFind, &QLineEdit::textEdited, this, [this] {
        foundLine_.reset();
        FindInHistory(edtFind->text(), true);
    });

    auto action = [this](const QString& text, std::initializer_list<QKeySequence> keys,
                         auto handler) {
        auto* a = new QAction(text, this);
        a->setShortcuts(QList<QKeySequence>(keys));
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
        return a;
    };
    actPause = action(QStringLiteral("&Pause the monitors"),
                      {QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::Key_Pause)},
                      [this] { SetPaused(!view_.Paused()); });
    actPause->setCheckable(true);
    actFind = action(QStringLiteral("&Find in the history..."), {QKeySequence::Find},
                     [this] { ShowFindBar(); });
    actFindNext = action(QStringLiteral("Find &next"), {QKeySequence::FindNext}, [this] {
        edtFind->text().isEmpty() ? ShowFindBar() : void(FindInHistory(edtFind->text(), true));
    });
    actFindPrevious =
        action(QStringLiteral("Find pre&vious"), {QKeySequence::FindPrevious}, [this] {
            edtFind->text().isEmpty() ? ShowFindBar() : void(FindInHistory(edtFind->text(), false));
        });
    actSaveHistory = action(QStringLiteral("Save the &history..."), {QKeySequence::Save},
                            [this] { SaveHistoryAs(); });
    actSaveSysex =
        action(QStringLiteral("Save the s&ysex monitor..."),
               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, [this] { SaveSysexAs(); });

    for (QAbstractScrollArea* box : std::initializer_list<QAbstractScrollArea*>{Memo2, Memo1}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this, [this, box](const QPoint& at) {
            MonitorMenu(box)->popup(box->viewport()->mapToGlobal(at));
        });
    }
    for (QWidget* send : std::initializer_list<QWidget*>{ImgButSend, lblButSend}) {
        send->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(send, &QWidget::customContextMenuRequested, this, [this, send](const QPoint& at) {
            SendPauseMenu(send)->popup(send->mapToGlobal(at));
        });
    }
    ImgThru->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ImgThru, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ThruMenu(ImgThru)->popup(ImgThru->mapToGlobal(at)); });
    chooseSaveFile = [this](const QString& title, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, QString(), filter, &chosenSaveType);
    };
    details_ = new DetailsView(DetailsPlaces{
        this,
        PanelData,
        Memo2,
        Memo1,
        {lblExp.begin(), lblExp.end()},
        {ImgLedData, lblLedData, ImgLedAS, lblLedAS},
        &path(),
        [this] { return midi_.ElapsedMs(); },
        [this] {
            if (view_.Paused()) {
                return; // the resume rebuilds the boxes
            }
            RebuildHistoryBox();
            if (!HidesKind(view_.Filter(), kKindSysex)) {
                RebuildSysexBox();
            }
        },
    });
    BuildTools();
}

void TmainForm::LoadMonitorSettings() {
    const auto w = StoredNumber(settings_, "WindowWidth");
    const auto h = StoredNumber(settings_, "WindowHeight");
    if (w || h) {
        resize(std::clamp(w.value_or(kDefaultSize.width()), kDefaultSize.width(), kMaxSide),
               std::clamp(h.value_or(kDefaultSize.height()), kDefaultSize.height(), kMaxSide));
    }
    const auto hiddenKinds = settings_.ReadIniText("HistoryHiddenKinds");
    const auto hiddenChannels = settings_.ReadIniText("HistoryHiddenChannels");
    view_.SetFilter(HistoryFilterFrom(hiddenKinds, hiddenChannels).value_or(kShowEverything));
    if (const auto t = StoredNumber(settings_, "HistoryTimeColumn"); t && *t >= 0 && *t <= 3) {
        view_.SetTimeColumn(static_cast<TimeColumn>(*t));
    }
    view_.SetLongHistory(StoredNumber(settings_, "HistoryLong").value_or(0) == 1);
    SetSendPauseMs(StoredNumber(settings_, "SysexSendPauseMs").value_or(0));
    details_->SetOn(StoredNumber(settings_, "MonitorDetails").value_or(1) != 0);
    SetLoopGuard(StoredNumber(settings_, "LoopGuard").value_or(1) != 0);
    if (const auto c = StoredNumber(settings_, "ThruChannel"); c && *c >= 1 && *c <= 16) {
        cmbMidiThru->setCurrentIndex(*c); // its handler passes it on to thru
    }
    for (int k = 1; k <= 4; ++k) {
        if (const auto text = settings_.ReadIniText(RouterRowKey(k))) {
            if (const auto row = RouterRowFrom(*text)) {
                routerRows[static_cast<std::size_t>(k - 1)] = *row;
            }
        }
    }
    LoadToolSettings();
    LoadInputSettings();
    ShowMonitorStatus();
}

void TmainForm::SaveMonitorSettings(SettingsValues& values) const {
    // Only what differs from the defaults is written: a default window
    // stores the same file as ever.
    if (size() != kDefaultSize) {
        values.more.emplace_back("WindowWidth", std::to_string(width()));
        values.more.emplace_back("WindowHeight", std::to_string(height()));
    }
    const MessageFilter& filter = view_.Filter();
    if (const std::string kinds = HiddenKindsText(filter); !kinds.empty()) {
        values.more.emplace_back("HistoryHiddenKinds", kinds);
    }
    if (const std::string channels = HiddenChannelsText(filter); !channels.empty()) {
        values.more.emplace_back("HistoryHiddenChannels", channels);
    }
    if (view_.Column() != TimeColumn::Off) {
        values.more.emplace_back("HistoryTimeColumn",
                                 std::to_string(static_cast<int>(view_.Column())));
    }
    if (view_.LongHistory()) {
        values.more.emplace_back("HistoryLong", "1");
    }
    if (sendPauseMs_ > 0) {
        values.more.emplace_back("SysexSendPauseMs", std::to_string(sendPauseMs_));
    }
    SaveToolSettings(values);
    SaveInputSettings(values);
    if (!details_->On()) {
        values.more.emplace_back("MonitorDetails", "0");
    }
    if (!LoopGuard()) {
        values.more.emplace_back("LoopGuard", "0");
    }
    if (const int channel = cmbMidiThru->currentIndex(); channel > 0) {
        values.more.emplace_back("ThruChannel", std::to_string(channel));
    }
    const RouterRows fresh = DefaultRouterRows();
    for (std::size_t i = 0; i < routerRows.size(); ++i) {
        // The first device listed is where a fresh row starts.
        RouterRow asFresh = routerRows[i];
        if (!outNames_.empty() && asFresh.device == outNames_.front()) {
            asFresh.device.clear();
        }
        if (asFresh != fresh[i]) {
            values.more.emplace_back(RouterRowKey(static_cast<int>(i) + 1),
                                     RouterRowText(routerRows[i]));
        }
    }
}

void TmainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The left column and the panels' controls keep their places; the
    // monitors' boxes take the extra room.
    const int dw = std::max(0, width() - kDefaultSize.width());
    const int dh = std::max(0, height() - kDefaultSize.height());
    for (QWidget* panel : {PanelSetup, PanelData, PanelSysex, PanelAbout}) {
        panel->resize(487 + dw, 426 + dh);
    }
    Memo2->resize(473 + dw, 297 + dh);
    lblHistoryBand->resize(471 + dw, lblHistoryBand->height());
    lblLostData->move(230 + dw, lblLostData->y());
    Memo1->resize(473 + dw, 393 + dh);
    lblLostSysex->move(230 + dw, lblLostSysex->y());
    MemoAbout->resize(455 + dw, 377 + dh);
    if (details_ != nullptr) {
        details_->Place(dw, dh);
    }
    edtFind->setGeometry(9, Memo2->geometry().bottom() - 20, Memo2->width() - 2, 20);
    lineWarning->setGeometry(136, 436 + dh, 487 + dw, 16);
    ShowHoldMark();
    FitHistoryBox();
}

// In a window larger than the default, the history box follows as many
// lines as it has room for; at the default size, the history text's 26.
void TmainForm::FitHistoryBox() {
    const int lineHeight = Memo2->lineHeight();
    // From the box's own size: a hidden panel's box lays out its inside
    // only when it is next shown.
    const int room = Memo2->contentsRect().height() - 2 * Memo2->margin();
    const int rows = height() > kDefaultSize.height() ? std::max(0, room) / lineHeight : 0;
    if (view_.SetFitRows(static_cast<std::size_t>(rows)) && !view_.Paused() &&
        details_ != nullptr) {
        RebuildHistoryBox();
    }
}

// ---- Jumps -----------------------------------------------------------------

void TmainForm::UserChosePanel(void (TmainForm::*show)()) {
    NoteUserChoice(jumpGuard_, midi_.ElapsedMs());
    (this->*show)();
}

bool TmainForm::MayJump(Panel to) const {
    const bool listOpen = QApplication::activePopupWidget() != nullptr;
    const std::int32_t now = midi_.ElapsedMs();
    if (view_.Paused()) {
        return false;
    }
    if (to == Panel::Sysex) {
        return SysexJumpAllowed(jumpGuard_, now, listOpen);
    }
    // A dump that is arriving, or has just ended, keeps the sysex monitor.
    return JumpAllowed(jumpGuard_, now, listOpen) &&
           !(ImgButSysex->tag() == 1 && SysexHoldsFront(jumpGuard_, now));
}

// ---- What the boxes show -----------------------------------------------------

void TmainForm::ShowFields(const AnalysisResult& r) {
    for (std::size_t i = 0; i < 4; ++i) {
        lblDec[i]->setText(QString::fromStdString(r.decimal[i]));
        lblHex[i]->setText(QString::fromStdString(r.hexadecimal[i]));
        lblBin[i]->setText(QString::fromStdString(r.binary[i]));
        lblExp[i]->setText(ui::FromCore(r.explicitText.labels[i]));
    }
    if (r.explicitText.bar) {
        Gauge1->setProgress(*r.explicitText.bar);
    }
    details_->ShowLine();
}

bool TmainForm::ShowInHistory(AnalysisResult& r, ShortMessage message) {
    const std::string& full = r.explicitText.historyLine;
    const bool shown = view_.Filter().Shows(StatusOf(message));
    if (shown) {
        details_->KeepForRows();
    }
    const std::size_t hiddenBefore = view_.Hidden();
    HistoryStep step = view_.Add(midi_.ElapsedMs(), message, full.substr(0, full.size() - 2),
                                 details_->Last(), view_.Sources() ? SourceName(0) : std::string());
    if (view_.Paused()) {
        if (shown) {
            frozenFields_ = std::move(r);
        }
        ShowMonitorStatusSoon();
        return false;
    }
    if (step.toBox) {
        details_->AddColumn(step.boxLine);
    }
    ShowHistoryStep(step, hiddenBefore);
    return shown;
}

// What one added line changes in the box; `hiddenBefore`: the view's hidden
// count before the line was added.
void TmainForm::ShowHistoryStep(const HistoryStep& step, std::size_t hiddenBefore) {
    const QString line = step.toBox ? ui::FromCore(step.boxLine) : QString();
    Memo2->appendLines(std::span(&line, step.toBox ? 1 : 0),
                       static_cast<int>(std::min<std::size_t>(step.dropLines, 1 << 30)));
    // A held box keeps its place (and a selection); only the mark counts on.
    if (step.toBox && view_.Following()) {
        ShowHistoryEnd();
    }
    if (view_.Hidden() != hiddenBefore || (step.toBox && !view_.Following())) {
        ShowMonitorStatusSoon();
    }
}

// A stream of messages changes the rows, the bar and the status far faster
// than a screen shows them: each message leaves its result here, and the
// controls take the last one at the next turn of the event loop, which under
// a stream comes once per display frame (see UiSignal::SetSlice).
void TmainForm::ShowFieldsSoon(AnalysisResult&& r) {
    latestFields_ = std::move(r);
    RefreshSoon();
}

void TmainForm::ShowMonitorStatusSoon() {
    statusDue_ = true;
    RefreshSoon();
}

void TmainForm::RefreshSoon() {
    if (refreshScheduled_) {
        return;
    }
    refreshScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshScheduled_ = false;
            if (latestFields_) {
                ShowFields(*latestFields_);
                latestFields_.reset();
            }
            if (statusDue_) {
                ShowMonitorStatus();
            }
        },
        Qt::QueuedConnection);
}

void TmainForm::RebuildHistoryBox() {
    if (FillHistoryBox() > 0) {
        ShowHistoryEnd();
    }
    ShowMonitorStatus();
}

// The caret before the newest line's last character, in view; a selection
// stays, and the box shows its end.
void TmainForm::ShowHistoryEnd() {
    if (Memo2->lineCount() == 0) {
        return;
    }
    if (Memo2->hasSelection()) {
        Memo2->verticalScrollBar()->setValue(Memo2->verticalScrollBar()->maximum());
        return;
    }
    const int last = Memo2->lineCount() - 1;
    Memo2->setCaret({last, std::max(0, static_cast<int>(Memo2->line(last).size()) - 1)});
    Memo2->ensureCaretVisible();
    // A line wider than the box (a source or time column) shows its start.
    Memo2->horizontalScrollBar()->setValue(0);
}

std::size_t TmainForm::FillHistoryBox() {
    const std::vector<std::string> lines = view_.BoxLines(details_->ColumnShown());
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        text << ui::FromCore(line);
    }
    Memo2->setLines(text);
    foundLine_.reset();
    return lines.size();
}

void TmainForm::HoldHistory() {
    if (view_.Hold()) {
        // The box takes the whole scrollback, still showing the lines it
        // showed. The slider's position: a drag or page step under way counts.
        // A selection keeps its rows, which the box now shows further down.
        QScrollBar* bar = Memo2->verticalScrollBar();
        const int fromBottom = bar->maximum() - bar->sliderPosition();
        const int linesBefore = Memo2->lineCount();
        const bool selected = Memo2->hasSelection();
        const ui::TLineBox::Place from = Memo2->selectionStart();
        const ui::TLineBox::Place to = Memo2->selectionEnd();
        FillHistoryBox();
        if (selected) {
            const int below = Memo2->lineCount() - linesBefore;
            Memo2->select({from.line + below, from.column}, {to.line + below, to.column});
        }
        bar->setValue(bar->maximum() - fromBottom);
    }
    ShowHoldMark();
}

void TmainForm::FollowHistory() {
    if (view_.Follow()) {
        RebuildHistoryBox();
    } else if (Memo2->lineCount() > 0 && !Memo2->hasSelection()) {
        ShowHistoryEnd();
    }
    Memo2->verticalScrollBar()->setValue(Memo2->verticalScrollBar()->maximum());
    ShowHoldMark();
}

void TmainForm::ShowHoldMark() {
    const QString mark = QString::fromStdString(view_.HoldMark());
    lblHoldMark->setVisible(!mark.isEmpty());
    if (mark.isEmpty()) {
        return;
    }
    lblHoldMark->setText(mark);
    lblHoldMark->adjustSize();
    const QRect box = Memo2->geometry();
    const int bottom = edtFind->isVisible() ? edtFind->geometry().top() : box.bottom() - 1;
    lblHoldMark->move(box.right() - 12 - lblHoldMark->width(), bottom - lblHoldMark->height());
    lblHoldMark->raise();
}

bool TmainForm::HistoryBoxEvent(QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        if (static_cast<QWheelEvent*>(event)->angleDelta().y() > 0) {
            HoldHistory();
            FollowIfAtBottomSoon();
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy)) {
        CopyHistoryRows();
        return true;
    }
    switch (key->key()) {
    case Qt::Key_End:
        FollowHistory();
        return true;
    case Qt::Key_PageUp:
        HoldHistory();
        FollowIfAtBottomSoon();
        return false;
    case Qt::Key_Home:
        HoldHistory();
        Memo2->verticalScrollBar()->setValue(0);
        FollowIfAtBottomSoon();
        return true;
    default:
        return false;
    }
}

// A scroll that found nothing to scroll (every line in view) leaves the box
// at its bottom: it follows on.
void TmainForm::FollowIfAtBottomSoon() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QScrollBar* bar = Memo2->verticalScrollBar();
            if (!view_.Following() && bar->value() >= bar->maximum()) {
                FollowHistory();
            }
        },
        Qt::QueuedConnection);
}

// Rows from the one the selection starts in to the one it ends in (not one
// it merely reaches the start of).
void TmainForm::CopyHistoryRows() {
    if (!Memo2->hasSelection()) {
        return;
    }
    const ui::TLineBox::Place from = Memo2->selectionStart();
    const ui::TLineBox::Place to = Memo2->selectionEnd();
    const int last = to.line > from.line && to.column == 0 ? to.line - 1 : to.line;
    QStringList rows;
    for (int row = from.line; row <= last; ++row) {
        rows << Memo2->line(row);
    }
    QApplication::clipboard()->setText(rows.join('\n') + '\n');
}

void TmainForm::RebuildSysexBox() {
    std::string text = sysexLog_.Text();
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    }
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        lines += text[i];
    }
    details_->NameHeaders(lines);
    Memo1->setPlainText(ui::FromCore(lines));
    if (!lines.empty()) {
        PutCaretNearEnd(*Memo1, 5);
    }
    sysexFrozen_ = false;
}

void TmainForm::ShowMonitorStatus() {
    statusDue_ = false;
    QStringList history, sysex, tips;
    const MessageFilter& filter = view_.Filter();
    if (view_.Paused()) {
        history << QStringLiteral("Paused: %1 new").arg(view_.PausedArrivals());
        sysex << history.back();
        tips << QStringLiteral("The monitors are paused: %1 messages or sysex blocks arrived "
                               "since. Input, thru and routing go on. Ctrl+P resumes.")
                    .arg(view_.PausedArrivals());
    } else if (arrivedWhilePaused_) {
        history << QStringLiteral("%1 arrived in pause").arg(*arrivedWhilePaused_);
        sysex << history.back();
        tips << QStringLiteral("%1 messages or sysex blocks arrived while the monitors were "
                               "paused; they are shown now.")
                    .arg(*arrivedWhilePaused_);
    }
    if (thruLoopShown_) {
        history << QStringLiteral("Thru off: feedback loop");
        sysex << history.back();
        tips << QStringLiteral("Thru was switched off: what it passed on came back at the input. "
                               "Choose another output before switching it on (Setup).");
    }
    if (!warning_.isEmpty()) {
        history << warning_;
        sysex << warning_;
        tips << warning_;
    }
    if (HidesAny(filter)) {
        history << QStringLiteral("%1 hidden").arg(view_.Hidden());
        tips << QStringLiteral("%1 lines of the history are hidden by the filters (right-click: "
                               "Show). Thru, routing, LEDs and counts are not filtered.")
                    .arg(view_.Hidden());
    }
    if (!notFound_.isEmpty()) {
        history << QStringLiteral("Not found: %1").arg(notFound_);
        tips << QStringLiteral("No line of the history holds \u201c%1\u201d.").arg(notFound_);
    }
    if (HidesKind(filter, kKindSysex)) {
        sysex << QStringLiteral("%1 blocks hidden").arg(hiddenBlocks_);
        tips << QStringLiteral("%1 sysex blocks are hidden by the filters.").arg(hiddenBlocks_);
    }
    auto show = [&tips](QLabel* label, const QStringList& parts) {
        const QString text = parts.join(QStringLiteral(", "));
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
        label->setToolTip(tips.join('\n'));
        label->setVisible(!text.isEmpty());
    };
    show(lblHistoryStatus, history);
    show(lblSysexStatus, sysex);
    ShowHoldMark();
}

// ---- Options -----------------------------------------------------------------

void TmainForm::SetPaused(bool paused) {
    if (paused == view_.Paused()) {
        return;
    }
    const std::uint64_t arrived = view_.PausedArrivals();
    view_.SetPaused(paused);
    actPause->setChecked(paused);
    if (paused) {
        if (latestFields_) { // what arrived before the pause is shown while it lasts
            ShowFields(*latestFields_);
            latestFields_.reset();
        }
        arrivedWhilePaused_.reset();
    } else {
        RebuildHistoryBox();
        if (frozenFields_) {
            ShowFields(*frozenFields_);
            frozenFields_.reset();
        }
        if (sysexFrozen_ && !HidesKind(view_.Filter(), kKindSysex)) {
            RebuildSysexBox();
        }
        arrivedWhilePaused_ = arrived;
        resumedAtMs_ = midi_.ElapsedMs();
    }
    ShowMonitorStatus();
}

void TmainForm::SetHistoryFilter(const MessageFilter& filter) {
    if (view_.SetFilter(filter)) {
        hiddenBlocks_ = 0;
        if (!view_.Paused() && sysexFrozen_) {
            RebuildSysexBox();
        }
    }
    if (!view_.Paused()) {
        RebuildHistoryBox();
    }
    ShowMonitorStatus();
}

void TmainForm::SetTimeColumn(TimeColumn column) {
    view_.SetTimeColumn(column);
    if (!view_.Paused()) {
        RebuildHistoryBox();
    }
}

void TmainForm::SetLongHistory(bool on) {
    view_.SetLongHistory(on);
    if (!view_.Paused()) {
        RebuildHistoryBox();
    }
}

// ---- Search ------------------------------------------------------------------

void TmainForm::ShowFindBar() {
    if (ImgButData->tag() == 0) {
        UserChosePanel(&TmainForm::ImgButDataClick);
    }
    edtFind->show();
    edtFind->raise();
    // A found line can be brought above the bar, the newest ones too.
    Memo2->setCenterOnScroll(true);
    edtFind->setFocus();
    edtFind->selectAll();
}

// Searches every shown line of the scrollback: a held box holds them all;
// one that follows is made to hold them when a line is found.
bool TmainForm::FindInHistory(const QString& text, bool forward) {
    const std::string query = ui::ToCore(text);
    std::vector<std::string> lines;
    if (view_.BoxHoldsAll()) {
        lines.reserve(static_cast<std::size_t>(Memo2->lineCount()));
        for (int row = 0; row < Memo2->lineCount(); ++row) {
            lines.push_back(ui::ToCore(Memo2->line(row)));
        }
    } else {
        lines = ShownLines(view_.scrollback(), view_.Filter(), view_.Column(),
                           view_.StartTimeOfDay(), details_->ColumnShown(), view_.Sources());
    }
    std::optional<int> from = foundLine_;
    if (from && static_cast<std::size_t>(*from) >= lines.size()) {
        from.reset();
    }
    const auto at =
        FindLine(lines, query, from ? std::optional<std::size_t>(*from) : std::nullopt, forward);
    notFound_ = at || text.isEmpty() ? QString() : text;
    ShowMonitorStatus();
    if (!at) {
        Memo2->setMarks({});
        foundLine_.reset();
        return false;
    }
    HoldHistory();
    std::vector<int> marks;
    for (std::size_t i = 0; i < lines.size() && marks.size() < kMaxHighlights; ++i) {
        if (LineHolds(lines[i], query)) {
            marks.push_back(static_cast<int>(i));
        }
    }
    foundLine_ = static_cast<int>(*at);
    Memo2->select({*foundLine_, 0}, {*foundLine_, std::numeric_limits<int>::max()});
    Memo2->setMarks(std::move(marks), ui::skin::Highlight());
    // In the middle of the box: above the find bar, with lines around it.
    Memo2->centerCaret();
    return true;
}

// ---- Saving ------------------------------------------------------------------

bool TmainForm::WriteTextFile(const QString& path, const std::string& bytes) {
    const FileResult r =
        ReplaceFile(ToFilesystemPath(path),
                    std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!r) {
        env_.reporter.Report("Velmora could not save '" + path.toStdString() +
                             "': " + FileFaultText(r) + ".");
    }
    return static_cast<bool>(r);
}

bool TmainForm::SaveHistory(const QString& path, bool csv) {
    std::string text;
    if (csv) {
        text = ScrollbackCsv(view_.scrollback(), view_.Filter(), view_.Sources());
    } else {
        for (const auto& line :
             ShownLines(view_.scrollback(), view_.Filter(), view_.Column(), view_.StartTimeOfDay(),
                        details_->ColumnShown(), view_.Sources())) {
            text += line;
            text += "\r\n";
        }
    }
    return WriteTextFile(path, ui::FromCore(text).toStdString());
}

bool TmainForm::SaveSysexMonitor(const QString& path, bool syx) {
    if (syx) {
        const std::vector<std::uint8_t> bytes = sysexLog_.Bytes();
        return WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
    }
    return WriteTextFile(path, ui::FromCore(sysexLog_.Text()).toStdString());
}

// A name typed without an extension gets the chosen type's; the extension
// then decides what is written.
void TmainForm::SaveHistoryAs() {
    chosenSaveType.clear();
    QString path = chooseSaveFile(QStringLiteral("Save the events history"),
                                  QStringLiteral("Text (*.txt);;CSV (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    if (!chosenSaveType.isEmpty()) {
        const bool csvChosen = chosenSaveType.contains(QStringLiteral("*.csv"));
        path = QString::fromStdString(
            WithChosenExtension(path.toStdString(), csvChosen ? ".csv" : ".txt"));
    }
    SaveHistory(path, path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive));
}

void TmainForm::SaveSysexAs() {
    const QString path = chooseSaveFile(QStringLiteral("Save the sysex monitor"),
                                        QStringLiteral("Sysex (*.syx);;Text (*.txt)"));
    if (!path.isEmpty()) {
        SaveSysexMonitor(path, !path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive));
    }
}

// ---- The send pause ------------------------------------------------------------

void TmainForm::SetSendPauseMs(int ms) {
    sendPauseMs_ = std::clamp(ms, 0, 5000);
    const QString tip = sendPauseMs_ > 0
                            ? QStringLiteral("Sends with %1 ms between messages (right-click to "
                                             "change)")
                                  .arg(sendPauseMs_)
                            : QStringLiteral("Right-click for a pause between messages");
    ImgButSend->setToolTip(tip);
    lblButSend->setToolTip(tip);
}

QMenu* TmainForm::SendPauseMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(MenuStyle());
    menu->addSection(QStringLiteral("Pause between messages"));
    auto* group = new QActionGroup(menu);
    for (int ms : {0, 20, 50, 100, 150, 250, 500}) {
        QAction* a =
            menu->addAction(ms == 0 ? QStringLiteral("No pause") : QStringLiteral("%1 ms").arg(ms));
        a->setCheckable(true);
        a->setChecked(ms == sendPauseMs_);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, ms] { SetSendPauseMs(ms); });
    }
    return menu;
}

// ---- The loop guard -----------------------------------------------------------

void TmainForm::SetLoopGuard(bool on) {
    loopGuard_ = on;
    path().loopGuardOn.store(on);
}

QMenu* TmainForm::ThruMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(MenuStyle());
    QAction* guard = menu->addAction(QStringLiteral("Stop &feedback loops"));
    guard->setCheckable(true);
    guard->setChecked(LoopGuard());
    guard->setToolTip(QStringLiteral("Switches thru and routing off when what they pass on "
                                     "comes back at the input"));
    connect(guard, &QAction::toggled, this, [this](bool on) { SetLoopGuard(on); });
    return menu;
}

// ---- The context menu --------------------------------------------------------

QMenu* TmainForm::MonitorMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(MenuStyle());
    // The sysex monitor's own menu, or the history's (also from the buttons).
    auto* sysexBox = qobject_cast<QPlainTextEdit*>(parent);
    menu->addAction(actPause);
    QAction* copy =
        sysexBox == nullptr
            ? menu->addAction(QStringLiteral("&Copy"), this, [this] { CopyHistoryRows(); })
            : menu->addAction(QStringLiteral("&Copy"), sysexBox, &QPlainTextEdit::copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(sysexBox != nullptr ? sysexBox->textCursor().hasSelection()
                                         : Memo2->hasSelection());
    if (sysexBox != nullptr) {
        menu->addAction(QStringLiteral("Select &all"), QKeySequence::SelectAll, sysexBox,
                        &QPlainTextEdit::selectAll);
    } else {
        menu->addAction(QStringLiteral("Select &all"), QKeySequence::SelectAll, Memo2,
                        &ui::TLineBox::selectAll);
    }
    menu->addSeparator();
    menu->addAction(actFind);
    menu->addAction(actFindNext);
    menu->addAction(actFindPrevious);
    menu->addSeparator();

    QMenu* kinds = menu->addMenu(QStringLiteral("&Show"));
    kinds->setStyleSheet(MenuStyle());
    for (std::size_t i = 0; i < kHistoryKinds.size(); ++i) {
        const HistoryKind& k = kHistoryKinds[i];
        QAction* a = kinds->addAction(QString::fromLatin1(kKindMenuTexts[i]));
        a->setCheckable(true);
        a->setChecked(!HidesKind(view_.Filter(), k.kind));
        connect(a, &QAction::toggled, this, [this, kind = k.kind](bool on) {
            MessageFilter f = view_.Filter();
            f.kinds = on ? f.kinds | kind : f.kinds & ~std::uint32_t{kind};
            SetHistoryFilter(f);
        });
    }
    QMenu* channels = kinds->addMenu(QStringLiteral("C&hannels"));
    channels->setStyleSheet(MenuStyle());
    for (int c = 0; c < 16; ++c) {
        const auto bit = static_cast<std::uint16_t>(1u << c);
        QAction* a = channels->addAction(ChannelMenuText(c + 1));
        a->setCheckable(true);
        a->setChecked((view_.Filter().channels & bit) != 0);
        connect(a, &QAction::toggled, this, [this, bit](bool on) {
            MessageFilter f = view_.Filter();
            f.channels = static_cast<std::uint16_t>(on ? f.channels | bit : f.channels & ~bit);
            SetHistoryFilter(f);
        });
    }
    kinds->addSeparator();
    kinds
        ->addAction(QStringLiteral("Show e&verything"), this,
                    [this] { SetHistoryFilter(kShowEverything); })
        ->setEnabled(HidesAny(view_.Filter()));

    QMenu* time = menu->addMenu(QStringLiteral("&Time column"));
    time->setStyleSheet(MenuStyle());
    auto* group = new QActionGroup(time);
    const std::pair<TimeColumn, const char*> columns[] = {
        {TimeColumn::Off, "&None"},
        {TimeColumn::SinceStart, "Milliseconds since the &start"},
        {TimeColumn::Delta, "Milliseconds since the &previous line"},
        {TimeColumn::TimeOfDay, "&Time of day"}};
    for (const auto& [column, text] : columns) {
        QAction* a = time->addAction(QString::fromLatin1(text));
        a->setCheckable(true);
        a->setChecked(column == view_.Column());
        group->addAction(a);
        const TimeColumn chosen = column; // a structured binding can't be captured everywhere
        connect(a, &QAction::triggered, this, [this, chosen] { SetTimeColumn(chosen); });
    }
    QAction* keep =
        menu->addAction(QStringLiteral("&Keep the last %L1 lines")
                            .arg(static_cast<qulonglong>(view_.scrollback().Capacity())));
    keep->setCheckable(true);
    keep->setChecked(view_.LongHistory());
    connect(keep, &QAction::toggled, this, [this](bool on) { SetLongHistory(on); });
    QAction* details = menu->addAction(QStringLiteral("Details (where a larger window has room)"));
    details->setCheckable(true);
    details->setChecked(details_->On());
    connect(details, &QAction::toggled, this, [this](bool on) { details_->SetOn(on); });
    menu->addSeparator();
    AddToolActions(menu);
    menu->addAction(actSaveHistory);
    menu->addAction(actSaveSysex);
    return menu;
}

} // namespace velmora::app
