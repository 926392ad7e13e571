#include "core/monitor_view.h"

#include <algorithm>

namespace velmora {

HistoryStep MonitorView::Add(std::int32_t nowMs, ShortMessage message, std::string line,
                             std::string details, std::string source) {
    HistoryStep step;
    ++total_;
    step.shown = filter_.Shows(StatusOf(message));
    hiddenLines_ += step.shown ? 0 : 1;
    bool droppedShown = false;
    ScrollbackEntry kept;
    if (step.shown && !paused_) {
        kept.line = line;
        kept.source = source;
    }
    if (const auto dropped = scrollback_.Append(nowMs, message, std::move(line), std::move(details),
                                                std::move(source))) {
        if (filter_.Shows(StatusOf(dropped->message))) {
            droppedShown = true;
        } else {
            --hiddenLines_;
        }
    }
    if (paused_) {
        ++pausedArrivals_;
        return step;
    }
    if (step.shown) {
        step.toBox = true;
        step.boxLine = column_ == TimeColumn::Off && !sources_
                           ? std::move(kept.line)
                           : BoxLine(TimeText(column_, nowMs, lastShownMs_, startTimeOfDayMs_),
                                     kept, sources_);
        lastShownMs_ = nowMs;
        ++boxLines_;
        newBelow_ += following_ ? 0 : 1;
    }
    if (BoxHoldsAll()) {
        step.dropLines = droppedShown && boxLines_ > 0 ? 1 : 0;
    } else if (boxLines_ > FollowLimit()) {
        step.dropLines = boxLines_ - FollowLimit();
    }
    boxLines_ -= step.dropLines;
    return step;
}

void MonitorView::Clear() {
    scrollback_.Clear();
    boxLines_ = 0;
    hiddenLines_ = 0;
    lastShownMs_.reset();
    following_ = true; // nothing is left to hold
    newBelow_ = 0;
}

std::vector<std::string> MonitorView::BoxLines(bool withDetails) {
    std::vector<std::string> lines =
        ShownLines(scrollback_, filter_, column_, startTimeOfDayMs_, withDetails, sources_);
    if (!BoxHoldsAll() && lines.size() > FollowLimit()) {
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(FollowLimit()));
    }
    boxLines_ = lines.size();
    lastShownMs_.reset();
    hiddenLines_ = 0;
    for (const auto& e : scrollback_.Entries()) {
        if (filter_.Shows(StatusOf(e.message))) {
            lastShownMs_ = e.arrivalMs;
        } else {
            ++hiddenLines_;
        }
    }
    return lines;
}

std::size_t MonitorView::FollowLimit() const {
    return longHistory_ ? scrollback_.Capacity() : std::max(kShortLines, fitRows_);
}

bool MonitorView::SetFitRows(std::size_t rows) {
    const std::size_t before = FollowLimit();
    fitRows_ = rows;
    return following_ && !longHistory_ && FollowLimit() != before;
}

bool MonitorView::Hold() {
    if (!following_) {
        return false;
    }
    following_ = false;
    newBelow_ = 0;
    return !longHistory_;
}

bool MonitorView::Follow() {
    if (following_) {
        return false;
    }
    following_ = true;
    newBelow_ = 0;
    return !longHistory_;
}

std::string MonitorView::HoldMark() const {
    if (following_) {
        return {};
    }
    return std::to_string(newBelow_) + " new below, End to follow";
}

bool MonitorView::SetFilter(const MessageFilter& filter) {
    const bool sysexBack = HidesKind(filter_, kKindSysex) && !HidesKind(filter, kKindSysex);
    filter_ = filter;
    return sysexBack;
}

void MonitorView::SetPaused(bool paused) {
    if (paused && !paused_) {
        pausedArrivals_ = 0; // kept after the resume, for the window to say
    }
    paused_ = paused;
}

} // namespace velmora
