// "Capture to MIDI file..." in the events history's context menu: what
// arrives at the input is collected, with the time it was handed over, and
// written as a type 0 Standard MIDI File when the capture stops (by the
// menu item, at the window's close or a stop signal's); with extra inputs,
// as a type 1 file with a track per input. While it runs the item reads
// "Stop capture (N events)". A capture that reaches its log's limit
// (CaptureLog::kLimitBytes) is written and ended at once, and its notice on
// the warning line says so.
// Window thread only: the messages come from the window's hand-off.
#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/capture_log.h"
#include "midi/hand_off.h"
#include "midi/reporter.h"

namespace velmora::app {

class CaptureAction : public QObject {
  public:
    CaptureAction(QWidget& window, midi::Reporter& reporter);

    QAction* action() const { return action_; }
    bool Capturing() const { return log_.has_value(); }
    std::size_t Count() const { return log_ ? log_->Count() : 0; }

    // The most tracks a capture writes; inputs beyond share the first's.
    static constexpr std::size_t kMostTracks = 16;

    // Starts capturing to `path` from the inputs named `inputNames` (the
    // tracks' names: one makes a type 0 file); false, with a report, when
    // the file can't be written.
    bool Start(const QString& path, std::vector<std::string> inputNames);
    // Every message and sysex block the window is handed, with the name of
    // the input it came from: an input chosen during the capture gets a
    // track of its own.
    void Feed(const midi::Handed& handed, const std::string& inputName = {});
    // Writes the file and ends the capture; false, with a report, when the
    // file could not be written. Nothing while no capture runs.
    bool Stop();

    // Asks for the file to capture to; empty when cancelled. Tests replace it.
    std::function<QString()> chooseFile;
    // The inputs the capture names, asked at its start.
    std::function<std::vector<std::string>()> inputNames;
    // A line for the window's status ("1200 events captured to song.mid").
    std::function<void(const QString&)> notice;

    static constexpr int kCountRefreshMs = 200;
    // The most a capture holds before it is written; tests lower it.
    std::size_t limitBytes = CaptureLog::kLimitBytes;

  private:
    std::size_t TrackOf(const midi::Handed& handed, const std::string& inputName);
    void Triggered();
    void ShowCount();
    // Stop's work; `full`: the log reached its limit, and the notice says so.
    bool Finish(bool full);

    midi::Reporter& reporter_;
    QAction* action_;
    QTimer refresh_;
    std::optional<CaptureLog> log_;
    std::uint64_t startMicros_ = 0;
    QString path_;
    std::vector<std::string> trackNames_;
    std::size_t shownCount_ = 0;
};

} // namespace velmora::app
