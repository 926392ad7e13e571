// The main window: a column of picture buttons and LEDs on the left and one
// of four panels on the right (Setup, Data Monitor, Sysex Monitor, About).
// It starts the MIDI ports at its first activation, shows what the input
// callback hands over, and saves the settings when it closes.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/details_view.h"
#include "core/analysis.h"
#include "core/events_history.h"
#include "core/jump_guard.h"
#include "core/monitor_view.h"
#include "core/router_rows.h"
#include "core/scrollback.h"
#include "core/settings_file.h"
#include "core/sysex_monitor_log.h"
#include "core/warning_list.h"
#include "help/help_hook.h"
#include "midi/midi_session.h"
#include "ui/caption_label.h"
#include "ui/gauge.h"
#include "ui/image_control.h"
#include "ui/line_box.h"
#include "ui/link_label.h"
#include "ui/push_button.h"
#include "ui/state_controls.h"
#include "ui/warning_line.h"

namespace velmora::app {

class CaptureAction;
class ExtraInputs;
class PanicAction;
class LintOption;

// What the main window works with, made by the program (or a test) first.
struct MainFormEnvironment {
    midi::MidiService& service;
    midi::Reporter& reporter;
    help::HelpHook& help;
    QString settingsReadPath;
    QString settingsWritePath;
    midi::TickSource ticks = midi::SteadyTickCount;
    int closeWaitMs = 1000; // the pause after the window hides at close
    // Once the service went away: ends it (its ports are closed by then) and
    // tries to start a new one of the same kind; nothing while none answers.
    // Unset: the window stays without a service.
    std::function<midi::MidiService*()> restartService = {};
};

class TmainForm : public QWidget, public midi::UiSignalReceiver {
    Q_OBJECT
  public:
    explicit TmainForm(MainFormEnvironment env, QWidget* parent = nullptr);
    ~TmainForm() override;

    // Published operations.
    bool InitMIDI();
    void ResetDisplay();
    void midiAnalyse(ShortMessage message);
    void SysexMonClear();
    void DataMonClear();
    void SaveParam();
    void LoadParam();
    int ReadIni(std::string_view key) const { return settings_.ReadIni(key); }

    // Handlers that other windows and the analysis call.
    void ImgButSetupClick();
    void ImgButDataClick();
    void ImgButSysexClick();
    void ImgButAboutClick();

    // The first activation's work (runs once).
    void FormActivate();

    // The record window: records with the given waiting text and returns
    // when the window has closed.
    std::function<void(const std::string& inDeviceName)> showRecordWindow;
    // The send window: chooses a file and sends it on the named output.
    std::function<void(const std::string& outDeviceName)> chooseAndSendFile;
    // The Record Sysex and Send Sysex buttons.
    void ImgButRecordClick();
    void ImgButSendClick();
    // Shows the router window modally and returns when it has closed.
    std::function<void()> showRouterWindow;
    // The Multi Out button: the main output makes way for the router's.
    void ImgButThruClick();
    // The help page of what has the focus: 1002 Setup, 1003 Data Monitor,
    // 1004 Sysex Monitor, 1001 About (the presentation).
    int HelpContext() const;
    // Creates the router window at the first activation.
    std::function<void()> onRouterCreate;
    // The router's rows as last left, kept in the settings; the router
    // window takes them when it is made and gives them back when it closes.
    RouterRows routerRows = DefaultRouterRows();

    midi::MidiSession& session() { return session_; }
    midi::MidiFunctions& midi() { return midi_; }
    midi::InputPathState& path() { return session_.path(); }
    midi::RouterSettings& router() { return session_.router(); }
    midi::MidiInCallback& callback() { return session_.callback(); }
    midi::UiSignal& signal() { return session_.signal(); }

    // Follows the system's device lists: ports that came or went, a chosen
    // device that went away (closed, with a message) or came back (opened
    // again), the MIDI service itself going away. Run every second.
    void RefreshDevices();
    // What the Setup panel says about the devices; empty when all is well.
    QString DeviceStatus() const { return lblDeviceStatus->text(); }
    // The warning line under the panels, seen whichever panel is in front:
    // a device or the service gone, a loop broken, input lost. It stays
    // until the cause is gone or the user dismisses it (its button, Esc).
    QString WarningText() const { return lineWarning->text(); }
    void DismissWarning();
    // Input the service could not deliver since the start.
    // What the inputs could not deliver: the Setup panel's and the extra ones.
    std::uint64_t LostInput() const;
    bool StartFailed() const { return startFailed_; }
    bool FirstActivation() const { return firstActivation_; }
    const EventsHistory& history() const { return history_; }
    const SysexMonitorLog& sysexLog() const { return sysexLog_; }

    // The monitors beyond the texts they always show (main_form_monitors.cpp).
    // Pause freezes both boxes and the data rows; what arrives meanwhile is
    // kept, counted and shown at the resume.
    void SetPaused(bool paused);
    bool Paused() const { return view_.Paused(); }
    // Filters, the time column and the long history change only what the
    // events history shows; they are rebuilt from the scrollback.
    void SetHistoryFilter(const MessageFilter& filter);
    const MessageFilter& HistoryFilter() const { return view_.Filter(); }
    void SetTimeColumn(TimeColumn column);
    TimeColumn HistoryTimeColumn() const { return view_.Column(); }
    void SetLongHistory(bool on);
    bool LongHistory() const { return view_.LongHistory(); }
    // The history box follows the newest line, or holds where the user
    // scrolled to (a wheel turn, PageUp, a found line) until End or the
    // bottom is reached; a mark says how many lines arrived below.
    void HoldHistory();
    void FollowHistory();
    const MonitorView& view() const { return view_; }
    // Copies the selected history rows, whole, to the clipboard.
    void CopyHistoryRows();
    // The message details: the details line, the history's details column,
    // the named sysex block headers (details_view.h).
    DetailsView& details() { return *details_; }
    const Scrollback& scrollback() const { return view_.scrollback(); }
    // Finds the next (or previous) history line holding `text`, selects it
    // and highlights every line that holds it; false when none does.
    bool FindInHistory(const QString& text, bool forward);
    // Saves what the events history keeps (as shown: filtered, with the time
    // column) as text or CSV, and the sysex monitor's bytes as a .syx file
    // or its text. A failure is reported; false then.
    bool SaveHistory(const QString& path, bool csv);
    bool SaveSysexMonitor(const QString& path, bool syx);
    // Asks the user for a file to save to; empty when cancelled. Tests
    // replace it.
    std::function<QString(const QString& title, const QString& filter)> chooseSaveFile;
    // The type the user chose in the last save dialog ("CSV (*.csv)"); empty
    // where the file alone tells (tests).
    QString chosenSaveType;
    // The quiet time the send window leaves after each sysex message, in ms;
    // chosen from Send Sysex's context menu and remembered.
    int SendPauseMs() const { return sendPauseMs_; }
    void SetSendPauseMs(int ms);
    QMenu* SendPauseMenu(QWidget* parent);
    // The loop guard (midi/midi_in_callback.h): on unless switched off in
    // the thru switch's menu; kept as LoopGuard=0 under [More].
    void SetLoopGuard(bool on);
    bool LoopGuard() const { return loopGuard_; }
    QMenu* ThruMenu(QWidget* parent);
    // The context menu of the monitors, made afresh for each use.
    QMenu* MonitorMenu(QWidget* parent);
    // Capture to a MIDI file, the panic and the stream check
    // (main_form_tools.cpp); their notices and warnings show on the
    // monitors' status line.
    CaptureAction& capture() { return *capture_; }
    PanicAction& panic() { return *panic_; }
    LintOption& lint() { return *lint_; }
    void ShowWarning(const QString& text);
    // The loopback test window, shown modally from the monitors' menu;
    // unset: the menu has no such item.
    std::function<void()> showLoopbackWindow;
    const QString& Warning() const { return warning_; }
    // Inputs monitored beside the Setup panel's (main_form_inputs.cpp): the
    // history shows and the capture keeps what they receive, with a source
    // column; kept as ExtraInput1.. under [More]. Opened at once once the
    // window has started, else at its first activation.
    void SetExtraInputs(const std::vector<std::string>& names);
    std::vector<std::string> ExtraInputNames() const;
    ExtraInputs& extraInputs() { return *extras_; }
    // The window's size beyond the default goes to the monitors.
    static constexpr QSize kDefaultSize{638, 454};
    // How long the count of what arrived during a pause stays after it.
    static constexpr std::int32_t kResumeNoticeMs = 5000;

    // Controls, by name.
    ui::THeldButton *ImgButSetup, *ImgButData, *ImgButSysex, *ImgButAbout;
    ui::THeldButton *ImgButRecord, *ImgButSend, *ImgButThru;
    ui::TPushButton *ImgButClear, *ImgButHelp, *ImgButPower;
    ui::TCaptionLabel *lblButSetup, *lblButData, *lblButSysex, *lblButClear, *lblButRecord,
        *lblButSend, *lblButThru, *lblButHelp, *Label1, *lblButPower;
    ui::TLed *ImgLedData, *ImgLedSysex, *ImgLedAS;
    QLabel *lblLedData, *lblLedSysex, *lblLedAS;

    QWidget *PanelSetup, *PanelData, *PanelSysex, *PanelAbout;

    // Data Monitor.
    std::array<QLabel*, 4> lblBin, lblHex, lblDec, lblExp;
    ui::TGauge* Gauge1;
    ui::TLineBox* Memo2;
    // Sysex Monitor.
    QPlainTextEdit* Memo1;
    // About.
    QPlainTextEdit* MemoAbout;

    // Setup.
    QComboBox *cmbMidiIn, *cmbMidiOut, *cmbMidiThru;
    ui::TOpenSwitch *ImgInOpen, *ImgOutOpen, *ImgThru;
    ui::TLedCheckBox *ImgActiveSense, *ImgAfterTouch, *ImgJumpData, *ImgJumpSysex, *ImgClearSysex;
    ui::TCaptionLabel *lblActiveSense, *lblAfterTouch, *lblJumpData, *lblJumpSysex, *lblClearSysex;
    QLabel* lblEmail1;
    QLabel* lblDeviceStatus;
    QLabel *lblLostData, *lblLostSysex;
    QLabel *lblHistoryBand, *lblHistoryStatus, *lblSysexStatus, *lblHoldMark;
    QLineEdit* edtFind;
    QAction *actPause, *actFind, *actFindNext, *actFindPrevious, *actSaveHistory, *actSaveSysex;
    ui::TLinkLabel* lblEmail2;
    ui::TWarningLine* lineWarning;

    QTimer* Timer1;
    QTimer* DeviceTimer;

  protected:
    void HandleSignal(const midi::Handed& handed) override; // Edit1Change
    void StreamEnded() override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildWindow();
    void BuildLeftColumn();
    QWidget* BuildPanel(const QString& name);
    void BuildSetupPanel();
    void BuildDataPanel();
    void BuildSysexPanel();
    void BuildAboutPanel();
    void FormCreate();
    void FormQueryUnload();
    void ShowPanel(ui::THeldButton* button, QWidget* panel);
    void SysexMonitorUpdate(const std::string& block);
    void Timer1Timer();
    void LightLed(ui::TLed& led);
    void OpenHelp();
    // The user chose a panel: automatic jumps wait a while.
    void UserChosePanel(void (TmainForm::*show)());
    // Whether a monitor may bring its panel to the front now.
    enum class Panel { Data, Sysex };
    bool MayJump(Panel to) const;

    void BuildMonitorControls();
    void BuildTools();
    void FeedTools(const midi::Handed& handed);
    void AddToolActions(QMenu* menu);
    void HandleExtraSignal(const midi::Handed& handed);
    // A history line of any input while the source column is shown.
    void AddSourceLine(ShortMessage message, std::string line, std::string source);
    std::string SourceName(std::size_t source) const; // in the monitors' text
    void ChooseExtraInputs();
    // The Setup panel's input became one of the extra ones: it leaves them,
    // so that its messages are not shown twice.
    void MainInputChosen();
    void RefreshExtraInputs();
    void UpdateSourceColumn();
    void LoadInputSettings();
    void SaveInputSettings(SettingsValues& values) const;
    void LoadToolSettings();
    void SaveToolSettings(SettingsValues& values) const;
    void LoadMonitorSettings();
    void SaveMonitorSettings(SettingsValues& values) const;
    // Adds the message's history line (moving `r` away while paused); true
    // when its fields are to be shown.
    bool ShowInHistory(AnalysisResult& r, ShortMessage message);
    void ShowHistoryStep(const HistoryStep& step, std::size_t hiddenBefore);
    void ShowFields(const AnalysisResult& r);
    void ShowFieldsSoon(AnalysisResult&& r);
    void ShowMonitorStatusSoon();
    void RefreshSoon();
    void RebuildHistoryBox();
    void ShowHistoryEnd();
    std::size_t FillHistoryBox(); // the lines it now holds
    void FitHistoryBox();
    // Scrolling back holds the history box, End follows again, Copy takes
    // whole rows; true when the event was used up.
    bool HistoryBoxEvent(QEvent* event);
    void FollowIfAtBottomSoon();
    void ShowHoldMark();
    void RebuildSysexBox();
    void ShowMonitorStatus();
    void ShowFindBar();
    bool WriteTextFile(const QString& path, const std::string& bytes);
    void SaveHistoryAs();
    void SaveSysexAs();

    void CmbMidiIn_Select(int index);
    void CmbMidiOut_Select(int index);
    void ImgInOpenClick();
    void ImgOutOpenClick();
    void ImgThruClick();
    void ShowDeviceStatus(const std::string& text);
    void ShowLostInput();
    void Warn(WarningKind kind, const std::string& text, const std::string& subject = {});
    void Unwarn(WarningKind kind);
    void CloseLostDevices(const QString& why);
    bool RefreshSide(bool output, const std::vector<std::string>& names);

    MainFormEnvironment env_;
    midi::NoService noService_; // stands in while the service is gone
    midi::MidiSession session_;
    midi::MidiFunctions& midi_;
    // The devices listed now, and chosen devices that are not there: stored
    // ones missing at the start, open ones that went away (opened again
    // when they come back).
    std::vector<std::string> inNames_, outNames_;
    std::string missingIn_, missingOut_;
    bool inWentAway_ = false, outWentAway_ = false;
    bool serviceLost_ = false;
    std::optional<std::uint64_t> listedChanges_; // the service's DeviceListChanges when last listed
    std::uint64_t lostShown_ = 0;
    SettingsFile settings_;
    EventsHistory history_;
    SysexMonitorLog sysexLog_;
    bool startFailed_ = false;
    bool firstActivation_ = true;
    bool closing_ = false;

    JumpGuard jumpGuard_;
    MonitorView view_;
    std::size_t hiddenBlocks_ = 0;                    // sysex blocks not shown
    std::optional<std::uint64_t> arrivedWhilePaused_; // shown for a while after a resume
    std::int32_t resumedAtMs_ = 0;
    std::optional<AnalysisResult> frozenFields_;
    std::optional<AnalysisResult> latestFields_; // shown at the next refresh
    bool statusDue_ = false;
    bool refreshScheduled_ = false;
    bool sysexFrozen_ = false; // the sysex box lags the log
    std::optional<int> foundLine_;
    QString notFound_; // what the last search did not find
    int sendPauseMs_ = 0;
    bool loopGuard_ = true;
    bool thruLoopShown_ = false; // thru was switched off for a loop and not on since
    WarningList warnings_;
    DetailsView* details_ = nullptr;
    CaptureAction* capture_ = nullptr;
    PanicAction* panic_ = nullptr;
    LintOption* lint_ = nullptr;
    QString warning_;
    std::vector<std::string> storedExtras_; // until the first activation opens them
    std::unique_ptr<ExtraInputs> extras_;   // last: its inputs close first
};

} // namespace velmora::app
