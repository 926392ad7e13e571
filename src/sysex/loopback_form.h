// The loopback test window: probes go out on one MIDI output and are looked
// for at one input (a cable from the output back to the input, or a device
// that echoes), at a chosen count and rate; the window then shows sent,
// received, lost, duplicated and reordered, and the round trip's latency
// (minimum, median, 99th percentile, maximum) and jitter.
// Window thread; the run itself sends on its own thread (midi/loopback_run.h).
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <memory>

#include "core/loopback_stats.h"
#include "midi/loopback_run.h"

namespace velmora::sysex {

class TloopbackForm : public QDialog {
  public:
    explicit TloopbackForm(midi::MidiService& service, QWidget* parent = nullptr);
    ~TloopbackForm() override;

    // Starts a run with what the controls say; false (and the reason shown)
    // when a port can't be opened.
    bool Run();
    bool Running() const { return run_ != nullptr; }
    // The figures of the last run that ended.
    const std::optional<LoopbackReport>& Figures() const { return figures_; }

    QComboBox *cmbOut, *cmbIn;
    QSpinBox *spnCount, *spnRate, *spnSize;
    QPushButton *btnRun, *btnClose;
    QLabel *lblProgress, *lblResult;
    // How long the run waits for stragglers after the last probe.
    std::chrono::milliseconds settle{1000};

    static constexpr int kPollMs = 50;

  protected:
    void reject() override; // Escape and the close box stop a run first

  private:
    void Poll();
    void Stop();

    midi::MidiService& service_;
    std::unique_ptr<midi::LoopbackRun> run_;
    std::optional<LoopbackReport> figures_;
    QTimer poll_;
};

// The figures as the window shows them, one line each.
QString LoopbackText(const LoopbackReport& f);

} // namespace velmora::sysex
