// The Multi Out router window: up to four outputs, each with its own device,
// channel, transposition and key range, fed from the input while the window
// is open. The window edits the settings and opens and closes the router's
// ports; the input callback does the routing.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <array>
#include <optional>

#include "core/router_rows.h"
#include "midi/input_state.h"
#include "midi/midi_functions.h"
#include "ui/caption_label.h"
#include "ui/push_button.h"
#include "ui/state_controls.h"

namespace velmora::router {

class TthruForm : public QDialog {
    Q_OBJECT
  public:
    TthruForm(midi::MidiFunctions& midi, midi::RouterSettings& settings, QWidget* parent = nullptr);

    // Default settings: output 1 on to the first device, the others off;
    // "As Input", no transposition, the whole keyboard.
    void Reset();
    // Closes every port and opens those the current settings need, sharing a
    // device's port between outputs.
    void cmbMidiOutSelect();
    // Closes the ports the outputs own and sets every port number to 0.
    void CloseAll();

    // The rows' choices, to be kept until the next start, and put back. A
    // device no longer listed leaves its row switched off on the first device,
    // but the row keeps that device and its switch as they were put back, so
    // that they come back once the device is listed again, until the user
    // picks a device for the row, switches it or resets the window.
    RouterRows Rows() const;
    void SetRows(const RouterRows& rows);

    // The port number of output k (1 to 4): 0 = off, j = router port j.
    int PortNumber(int k) const;

    std::array<ui::TOpenSwitch*, 4> ImgButOpen;
    std::array<QLabel*, 4> lblOut;
    std::array<QComboBox*, 4> cmbMidiOut, cmbChannel, cmbTransp, cmbSplitLo, cmbSplitHi;
    std::array<QLabel*, 4> lblThru;
    ui::TPushButton *ImgButReset, *ImgButExit;
    ui::TCaptionLabel *lblButReset, *lblButExit;
    QLabel* lblLoop; // why routing stopped, when it did

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void done(int result) override;

  private:
    void FormCreate();
    void Build();
    void ShowLoopState();
    void CloseAllLocked();
    void AssignLocked();
    void ImgButOpenClick(int k);
    midi::RouterOutputSettings& Output(int k) {
        return settings_.outputs[static_cast<std::size_t>(k - 1)];
    }

    midi::MidiFunctions& midi_;
    midi::RouterSettings& settings_;
    bool closedAll_ = false;
    QTimer* loopWatch_ = nullptr;
    // For each row put back on a device not listed: that row as put back.
    std::array<std::optional<RouterRow>, 4> unlisted_;
};

} // namespace velmora::router
