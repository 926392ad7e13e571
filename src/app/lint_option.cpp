#include "app/lint_option.h"

#include <QWidget>
#include <algorithm>

namespace velmora::app {

LintOption::LintOption(QWidget& window, std::function<bool()> inputOpen)
    : QObject(&window), inputOpen_(std::move(inputOpen)),
      action_(new QAction(QStringLiteral("Check the stream for &faults"), &window)) {
    action_->setObjectName(QStringLiteral("actLint"));
    action_->setCheckable(true);
    connect(action_, &QAction::toggled, this, [this](bool on) { SetOn(on); });
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void LintOption::SetOn(bool on) {
    if (on == On()) {
        return;
    }
    if (on) {
        lint_.emplace();
        wasOpen_ = inputOpen_();
        timer_.start();
    } else {
        lint_.reset();
        timer_.stop();
        Clear();
    }
    action_->setChecked(on);
}

void LintOption::Feed(const midi::Handed& handed) {
    if (!lint_) {
        return;
    }
    const std::uint64_t at = handed.micros != 0 ? handed.micros : now();
    if (handed.kind == midi::HandedKind::Short || handed.kind == midi::HandedKind::Clock) {
        const std::uint8_t status = StatusOf(handed.message);
        const std::uint8_t bytes[] = {status, Data1Of(handed.message), Data2Of(handed.message)};
        const auto n = static_cast<std::size_t>(std::max(ShortMessageBytes(status), 1));
        lint_->Feed(at, std::span(bytes, n), found_);
    } else if (handed.kind == midi::HandedKind::Sysex && !handed.sysex.empty()) {
        lint_->Feed(at, handed.sysex, found_);
    }
    Show(found_);
}

void LintOption::Tick() {
    if (!lint_) {
        return;
    }
    const bool open = inputOpen_();
    if (wasOpen_ && !open) {
        lint_->Close(found_);
        lint_.emplace(); // what comes after a reopening is a new stream
    } else if (!wasOpen_ && open) {
        Clear();
    } else {
        lint_->Tick(now(), found_);
    }
    wasOpen_ = open;
    Show(found_);
}

void LintOption::Show(std::vector<LintWarning>& warnings) {
    for (const LintWarning& w : warnings) {
        if (w.ended) {
            End(w.kind);
            continue;
        }
        if (LintFaultLasts(w.kind)) {
            std::erase_if(lasting_, [&w](const LintWarning& x) { return x.kind == w.kind; });
            lasting_.push_back(w);
        }
        shown_ = w.kind;
        if (warn) {
            warn(QString::fromStdString(w.text));
        }
    }
    warnings.clear();
}

void LintOption::End(LintKind kind) {
    std::erase_if(lasting_, [kind](const LintWarning& x) { return x.kind == kind; });
    if (shown_ != kind) {
        return; // a newer warning is on the line
    }
    if (lasting_.empty()) {
        Clear();
    } else {
        shown_ = lasting_.back().kind;
        if (warn) {
            warn(QString::fromStdString(lasting_.back().text));
        }
    }
}

void LintOption::Clear() {
    lasting_.clear();
    shown_.reset();
    if (cleared) {
        cleared();
    }
}

} // namespace velmora::app
