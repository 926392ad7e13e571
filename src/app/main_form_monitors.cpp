// The monitors beyond the texts they always show: pause, the scrollback with its
// filters and time column, search, saving, the context menu and shortcuts,
// the window's size. With every option at its default the boxes show what
// they always did: the 26 newest history lines, the sysex monitor's text.
#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTime>
#include <algorithm>
#include <charconv>

#include "app/main_form.h"
#include "app/monitor_text.h"
#include "app/settings_location.h"
#include "core/safe_file.h"
#include "ui/from_core.h"
#include "ui/skin_palette.h"
#include "ui/skin_widgets.h"

namespace velmora::app {
namespace {

// The history text keeps 26 lines of 67 characters below its 1800.
constexpr std::size_t kShortHistoryLines = EventsHistory::kLimit / 67;
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
    startTimeOfDayMs_ = QTime::currentTime().msecsSinceStartOfDay();
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
                      [this] { SetPaused(!paused_); });
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

    for (QPlainTextEdit* box : {Memo2, Memo1}) {
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
            if (paused_) {
                return; // the resume rebuilds the boxes
            }
            RebuildHistoryBox();
            if (!HidesKind(filter_, kKindSysex)) {
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
    filter_ = HistoryFilterFrom(hiddenKinds, hiddenChannels).value_or(kShowEverything);
    if (const auto t = StoredNumber(settings_, "HistoryTimeColumn"); t && *t >= 0 && *t <= 3) {
        timeColumn_ = static_cast<TimeColumn>(*t);
    }
    longHistory_ = StoredNumber(settings_, "HistoryLong").value_or(0) == 1;
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
    ShowMonitorStatus();
}

void TmainForm::SaveMonitorSettings(SettingsValues& values) const {
    // Only what differs from the defaults is written: a default window
    // stores the same file as ever.
    if (size() != kDefaultSize) {
        values.more.emplace_back("WindowWidth", std::to_string(width()));
        values.more.emplace_back("WindowHeight", std::to_string(height()));
    }
    if (const std::string kinds = HiddenKindsText(filter_); !kinds.empty()) {
        values.more.emplace_back("HistoryHiddenKinds", kinds);
    }
    if (const std::string channels = HiddenChannelsText(filter_); !channels.empty()) {
        values.more.emplace_back("HistoryHiddenChannels", channels);
    }
    if (timeColumn_ != TimeColumn::Off) {
        values.more.emplace_back("HistoryTimeColumn",
                                 std::to_string(static_cast<int>(timeColumn_)));
    }
    if (longHistory_) {
        values.more.emplace_back("HistoryLong", "1");
    }
    if (sendPauseMs_ > 0) {
        values.more.emplace_back("SysexSendPauseMs", std::to_string(sendPauseMs_));
    }
    SaveToolSettings(values);
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
}

// ---- Jumps -----------------------------------------------------------------

void TmainForm::UserChosePanel(void (TmainForm::*show)()) {
    NoteUserChoice(jumpGuard_, midi_.ElapsedMs());
    (this->*show)();
}

bool TmainForm::MayJump(Panel to) const {
    const bool listOpen = QApplication::activePopupWidget() != nullptr;
    const std::int32_t now = midi_.ElapsedMs();
    if (paused_) {
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
    const std::int32_t now = midi_.ElapsedMs();
    const std::string& full = r.explicitText.historyLine;
    std::string line = full.substr(0, full.size() - 2);
    const bool shown = filter_.Shows(StatusOf(message));
    const std::size_t hiddenBefore = hiddenLines_;
    hiddenLines_ += shown ? 0 : 1;
    if (shown) {
        details_->KeepForRows();
    }
    bool droppedShown = false;
    if (const auto dropped = scrollback_.Append(now, message, line, details_->Last())) {
        if (filter_.Shows(StatusOf(dropped->message))) {
            droppedShown = true;
        } else {
            --hiddenLines_;
        }
    }
    if (paused_) {
        ++pausedArrivals_;
        if (shown) {
            frozenFields_ = std::move(r);
        }
        ShowMonitorStatusSoon();
        return false;
    }
    if (shown) {
        if (timeColumn_ != TimeColumn::Off) {
            line = TimeText(timeColumn_, now, lastShownMs_, startTimeOfDayMs_) + "  " + line;
        }
        details_->AddColumn(line);
        lastShownMs_ = now;
        ++boxLines_;
    }
    std::size_t drop = 0;
    if (longHistory_) {
        drop = droppedShown && boxLines_ > 0 ? 1 : 0;
    } else if (boxLines_ > kShortHistoryLines) {
        drop = boxLines_ - kShortHistoryLines;
    }
    boxLines_ -= drop;
    if (shown || drop > 0) {
        AppendAndTrim(*Memo2, std::span(&line, shown ? 1 : 0), drop);
    }
    if (shown) {
        PutCaretNearEnd(*Memo2, 3);
    }
    if (hiddenLines_ != hiddenBefore) {
        ShowMonitorStatusSoon();
    }
    return shown;
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
    const std::vector<std::string> lines =
        ShownLines(scrollback_, filter_, timeColumn_, startTimeOfDayMs_, details_->ColumnShown());
    const std::size_t first =
        longHistory_ || lines.size() <= kShortHistoryLines ? 0 : lines.size() - kShortHistoryLines;
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size() - first));
    for (std::size_t i = first; i < lines.size(); ++i) {
        text << ui::FromCore(lines[i]);
    }
    Memo2->setExtraSelections({});
    Memo2->setPlainText(text.join('\n'));
    boxLines_ = lines.size() - first;
    foundLine_.reset();
    lastShownMs_.reset();
    hiddenLines_ = 0;
    for (const auto& e : scrollback_.Entries()) {
        if (filter_.Shows(StatusOf(e.message))) {
            lastShownMs_ = e.arrivalMs;
        } else {
            ++hiddenLines_;
        }
    }
    if (boxLines_ > 0) {
        PutCaretNearEnd(*Memo2, 3);
    }
    ShowMonitorStatus();
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
    if (paused_) {
        history << QStringLiteral("Paused: %1 new").arg(pausedArrivals_);
        sysex << history.back();
        tips << QStringLiteral("The monitors are paused: %1 messages or sysex blocks arrived "
                               "since. Input, thru and routing go on. Ctrl+P resumes.")
                    .arg(pausedArrivals_);
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
    if (HidesAny(filter_)) {
        history << QStringLiteral("%1 hidden").arg(hiddenLines_);
        tips << QStringLiteral("%1 lines of the history are hidden by the filters (right-click: "
                               "Show). Thru, routing, LEDs and counts are not filtered.")
                    .arg(hiddenLines_);
    }
    if (HidesKind(filter_, kKindSysex)) {
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
}

// ---- Options -----------------------------------------------------------------

void TmainForm::SetPaused(bool paused) {
    if (paused == paused_) {
        return;
    }
    paused_ = paused;
    actPause->setChecked(paused);
    if (paused) {
        if (latestFields_) { // what arrived before the pause is shown while it lasts
            ShowFields(*latestFields_);
            latestFields_.reset();
        }
        pausedArrivals_ = 0;
        arrivedWhilePaused_.reset();
    } else {
        RebuildHistoryBox();
        if (frozenFields_) {
            ShowFields(*frozenFields_);
            frozenFields_.reset();
        }
        if (sysexFrozen_ && !HidesKind(filter_, kKindSysex)) {
            RebuildSysexBox();
        }
        arrivedWhilePaused_ = pausedArrivals_;
        resumedAtMs_ = midi_.ElapsedMs();
        pausedArrivals_ = 0;
    }
    ShowMonitorStatus();
}

void TmainForm::SetHistoryFilter(const MessageFilter& filter) {
    const bool sysexWasHidden = HidesKind(filter_, kKindSysex);
    filter_ = filter;
    const bool sysexHidden = HidesKind(filter_, kKindSysex);
    if (sysexWasHidden && !sysexHidden) {
        hiddenBlocks_ = 0;
        if (!paused_ && sysexFrozen_) {
            RebuildSysexBox();
        }
    }
    if (!paused_) {
        RebuildHistoryBox();
    }
    ShowMonitorStatus();
}

void TmainForm::SetTimeColumn(TimeColumn column) {
    timeColumn_ = column;
    if (!paused_) {
        RebuildHistoryBox();
    }
}

void TmainForm::SetLongHistory(bool on) {
    longHistory_ = on;
    if (!paused_) {
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
    edtFind->setFocus();
    edtFind->selectAll();
}

bool TmainForm::FindInHistory(const QString& text, bool forward) {
    const std::string query = text.toStdString();
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(Memo2->document()->blockCount()));
    for (QTextBlock b = Memo2->document()->begin(); b.isValid(); b = b.next()) {
        lines.push_back(b.text().toStdString());
    }
    if (foundLine_ && static_cast<std::size_t>(*foundLine_) >= lines.size()) {
        foundLine_.reset();
    }
    const auto at = FindLine(
        lines, query, foundLine_ ? std::optional<std::size_t>(*foundLine_) : std::nullopt, forward);
    QList<QTextEdit::ExtraSelection> marks;
    QTextEdit::ExtraSelection mark;
    mark.format.setBackground(ui::skin::Highlight());
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    for (std::size_t i = 0; at && i < lines.size() && marks.size() < kMaxHighlights; ++i) {
        if (LineHolds(lines[i], query)) {
            mark.cursor = QTextCursor(Memo2->document()->findBlockByNumber(static_cast<int>(i)));
            marks << mark;
        }
    }
    Memo2->setExtraSelections(marks);
    if (!at) {
        foundLine_.reset();
        return false;
    }
    foundLine_ = static_cast<int>(*at);
    const QTextBlock block = Memo2->document()->findBlockByNumber(*foundLine_);
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    Memo2->setTextCursor(cursor);
    Memo2->ensureCursorVisible();
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
        text = ScrollbackCsv(scrollback_, filter_);
    } else {
        for (const auto& line : ShownLines(scrollback_, filter_, timeColumn_, startTimeOfDayMs_,
                                           details_->ColumnShown())) {
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
    auto* box = qobject_cast<QPlainTextEdit*>(parent);
    QPlainTextEdit* target = box != nullptr ? box : Memo2;
    menu->addAction(actPause);
    QAction* copy = menu->addAction(QStringLiteral("&Copy"), target, &QPlainTextEdit::copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(target->textCursor().hasSelection());
    menu->addAction(QStringLiteral("Select &all"), QKeySequence::SelectAll, target,
                    &QPlainTextEdit::selectAll);
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
        a->setChecked(!HidesKind(filter_, k.kind));
        connect(a, &QAction::toggled, this, [this, kind = k.kind](bool on) {
            MessageFilter f = filter_;
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
        a->setChecked((filter_.channels & bit) != 0);
        connect(a, &QAction::toggled, this, [this, bit](bool on) {
            MessageFilter f = filter_;
            f.channels = static_cast<std::uint16_t>(on ? f.channels | bit : f.channels & ~bit);
            SetHistoryFilter(f);
        });
    }
    kinds->addSeparator();
    kinds
        ->addAction(QStringLiteral("Show e&verything"), this,
                    [this] { SetHistoryFilter(kShowEverything); })
        ->setEnabled(HidesAny(filter_));

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
        a->setChecked(column == timeColumn_);
        group->addAction(a);
        const TimeColumn chosen = column; // a structured binding can't be captured everywhere
        connect(a, &QAction::triggered, this, [this, chosen] { SetTimeColumn(chosen); });
    }
    QAction* keep = menu->addAction(QStringLiteral("&Keep the last %L1 lines")
                                        .arg(static_cast<qulonglong>(scrollback_.Capacity())));
    keep->setCheckable(true);
    keep->setChecked(longHistory_);
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
