#include "app/capture_action.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>
#include <algorithm>

#include "app/settings_location.h"
#include "core/safe_file.h"

namespace velmora::app {
namespace {

const QString kStartText = QStringLiteral("Capture to &MIDI file...");

QString StopText(std::size_t count) {
    return QStringLiteral("Stop &capture (%L1 events)").arg(static_cast<qulonglong>(count));
}

} // namespace

CaptureAction::CaptureAction(QWidget& window, midi::Reporter& reporter)
    : QObject(&window), reporter_(reporter), action_(new QAction(kStartText, &window)) {
    action_->setObjectName(QStringLiteral("actCapture"));
    action_->setStatusTip(QStringLiteral("Captures up to %1 of events, then saves them")
                              .arg(QString::fromLatin1(CaptureLog::kLimitText)));
    connect(action_, &QAction::triggered, this, [this] { Triggered(); });
    refresh_.setInterval(kCountRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] { ShowCount(); });
    chooseFile = [&window] {
        QString path =
            QFileDialog::getSaveFileName(&window, QStringLiteral("Capture to MIDI file"), QString(),
                                         QStringLiteral("MIDI files (*.mid *.midi)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
            path += QStringLiteral(".mid");
        }
        return path;
    };
}

void CaptureAction::Triggered() {
    if (Capturing()) {
        Stop();
        return;
    }
    const QString path = chooseFile ? chooseFile() : QString();
    if (!path.isEmpty()) {
        Start(path, inputNames ? inputNames() : std::vector<std::string>());
    }
}

bool CaptureAction::Start(const QString& path, std::vector<std::string> names) {
    // Fail before capturing what could not be saved.
    if (const FileResult can = CheckReplaceable(ToFilesystemPath(path)); !can) {
        reporter_.Report("Velmora can't capture to '" + path.toStdString() +
                         "': " + FileFaultText(can) + ".");
        return false;
    }
    log_.emplace(kMostTracks, true, limitBytes);
    startMicros_ = midi::HandOffMicros();
    path_ = path;
    trackNames_ = std::move(names);
    if (trackNames_.empty()) {
        trackNames_.emplace_back();
    }
    if (trackNames_.size() > kMostTracks) {
        trackNames_.resize(kMostTracks);
    }
    for (std::string& name : trackNames_) {
        name = name.empty() ? std::string("MIDI input") : name;
    }
    shownCount_ = 0;
    action_->setText(StopText(0));
    refresh_.start();
    return true;
}

void CaptureAction::Feed(const midi::Handed& handed, const std::string& inputName) {
    // What was handed over before the start belongs to no capture.
    if (!log_ || handed.micros < startMicros_) {
        return;
    }
    const std::uint64_t at = handed.micros - startMicros_;
    const std::size_t track = TrackOf(handed, inputName);
    if (handed.kind == midi::HandedKind::Short || handed.kind == midi::HandedKind::Clock) {
        log_->AddShort(track, at, handed.message);
    } else if (handed.kind == midi::HandedKind::Sysex) {
        log_->AddSysexBlock(track, at, handed.sysex);
    }
    if (log_->Full()) {
        Finish(true); // written now: no event after the gap it leaves
    }
}

// The Setup panel's input is the first track whatever its name; another
// input, the track of its name, made when it first sends.
std::size_t CaptureAction::TrackOf(const midi::Handed& handed, const std::string& inputName) {
    if (handed.source == 0 || inputName.empty()) {
        return 0;
    }
    const auto at = std::find(trackNames_.begin() + 1, trackNames_.end(), inputName);
    if (at != trackNames_.end()) {
        return static_cast<std::size_t>(at - trackNames_.begin());
    }
    if (trackNames_.size() == kMostTracks) {
        return 0;
    }
    trackNames_.push_back(inputName);
    return trackNames_.size() - 1;
}

bool CaptureAction::Stop() {
    return Finish(false);
}

bool CaptureAction::Finish(bool full) {
    if (!log_) {
        return true;
    }
    refresh_.stop();
    log_->FlushSysex(); // a message never ended is kept as it came
    const std::vector<std::uint8_t> bytes = CaptureFileBytes(*log_, trackNames_);
    const std::size_t count = log_->Count();
    log_.reset();
    action_->setText(kStartText);
    const FileResult saved = ReplaceFile(ToFilesystemPath(path_), bytes);
    if (!saved) {
        reporter_.Report("Velmora could not save the capture to '" + path_.toStdString() +
                         "': " + FileFaultText(saved) + ".");
    } else if (notice) {
        const QString done = QStringLiteral("%L1 events captured to %2")
                                 .arg(static_cast<qulonglong>(count))
                                 .arg(QFileInfo(path_).fileName());
        notice(full ? QStringLiteral("Capture full (%1), stopped: %2")
                          .arg(QString::fromLatin1(CaptureLog::kLimitText), done)
                    : done);
    }
    return static_cast<bool>(saved);
}

void CaptureAction::ShowCount() {
    if (log_ && log_->Count() != shownCount_) {
        shownCount_ = log_->Count();
        action_->setText(StopText(shownCount_));
    }
}

} // namespace velmora::app
