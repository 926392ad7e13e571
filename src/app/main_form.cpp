#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>
#include <optional>

#include "app/capture_action.h"
#include "app/extra_inputs.h"
#include "app/monitor_text.h"
#include "app/settings_location.h"
#include "core/analysis.h"
#include "core/device_choice.h"
#include "core/device_watch.h"
#include "core/lost_input_text.h"
#include "core/source_column.h"
#include "core/sysex_text.h"
#include "ui/from_core.h"
#include "ui/skin_pictures.h"

namespace velmora::app {
namespace {

// Timer1 ticks often only while the router's LED may light (stamped from the
// MIDI thread) or a notice waits for its time; a lit LED is looked at again
// when it is due to go out, and otherwise the timer only looks for warnings:
// a window left open all day wakes four times a second, not forty.
constexpr int kLitTickMs = 25;
constexpr int kDarkTickMs = 250;
// An LED goes out once its stamp is this old.
constexpr int kLedLitMs = 50;
// A lit LED whose stamp is old while messages wait is looked at again after
// this: the window takes a stream in ten times a second.
constexpr int kWaitingTickMs = 100;

void TickAt(QTimer& timer, int ms) {
    if (timer.interval() != ms) {
        timer.setInterval(ms); // restarts a running timer
    }
}

} // namespace

TmainForm::TmainForm(MainFormEnvironment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)),
      session_(env_.service, env_.reporter, *this, env_.ticks), midi_(session_.midi()) {
    BuildWindow();
    FormCreate();
}

TmainForm::~TmainForm() {
    // FormDestroy: the ports are closed by now; stop any late hand-off.
    session_.Shutdown();
    env_.help.CloseAll();
}

void TmainForm::FormCreate() {
    setWindowTitle(QStringLiteral(" ") + QApplication::applicationName());
    LoadParam();
    startFailed_ = false;
    firstActivation_ = true;
    Timer1 = new QTimer(this);
    Timer1->setInterval(kLitTickMs);
    connect(Timer1, &QTimer::timeout, this, &TmainForm::Timer1Timer);
    midi_.InputMode = midi::kMonitor;
    // A stream of messages is served a display frame at a time: the screen
    // shows no more, and the event loop paints once per frame.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz = screen != nullptr && screen->refreshRate() > 0 ? screen->refreshRate() : 60;
    signal().SetSlice(
        std::chrono::microseconds(std::clamp(static_cast<int>(1e6 / hz), 5000, 40000)));
    // Painting is most of what a stream costs the window (a frame of the
    // history box is a millisecond or more): while a stream lasts the window
    // takes it in ten times a second, which reads as smoothly as rows can be
    // read; a lone message still shows at once.
    signal().SetPace(std::chrono::milliseconds(100));

    for (ui::THeldButton* b : {ImgButSetup, ImgButData, ImgButSysex, ImgButRecord, ImgButSend,
                               ImgButThru, ImgButAbout}) {
        b->setLit(false);
    }
    ImgButClear->setTag(0);
    ImgButClear->showReleased();
    ImgButHelp->setTag(0);
    ImgButHelp->showReleased();
    ImgButPower->showReleased(); // its released face is the lit picture

    // The input path reads these switches and stamps the data LED itself.
    ImgOutOpen->bindTag(path().mainOutOpen);
    ImgThru->bindTag(path().thruOn);
    ImgLedData->bindTag(path().dataLedStamp);

    ImgActiveSense->setChecked(true);
    ImgAfterTouch->setChecked(false);
    ImgJumpData->setChecked(true);
    ImgJumpSysex->setChecked(true);
    ImgClearSysex->setChecked(false);
    ImgInOpen->setOpen(false);
    ImgOutOpen->setOpen(false);
    ImgThru->setOpen(true);
    ImgThru->setStateTexts(
        QStringLiteral("Thru off: what arrives at the input is not passed on"),
        QStringLiteral("Thru on: what arrives at the input is passed on to the output"));
    ImgInOpen->setStateTexts(QStringLiteral("Input closed"), QStringLiteral("Input open"));
    ImgOutOpen->setStateTexts(QStringLiteral("Output closed"), QStringLiteral("Output open"));
    ImgLedSysex->setTag(0);
    ImgLedData->setTag(0);
    ImgLedAS->setTag(0);

    cmbMidiThru->addItem(QStringLiteral("As Input"));
    for (int n = 1; n <= 16; ++n) {
        cmbMidiThru->addItem(QStringLiteral("Channel %1").arg(n));
    }
    cmbMidiThru->setCurrentIndex(0);
    connect(cmbMidiThru, &QComboBox::currentIndexChanged, this,
            [this](int index) { path().thruChannel.store(index); });
    path().thruChannel.store(0);

    Gauge1->setMinValue(0);
    Gauge1->setMaxValue(127);
    SysexMonClear();
    DataMonClear();

    const std::pair<const char*, ui::TImageControl*> stored[] = {
        {"ActiveSenseLED", ImgActiveSense}, {"AfterTouchMonitorFilter", ImgAfterTouch},
        {"JumpData", ImgJumpData},          {"JumpSysex", ImgJumpSysex},
        {"ClearSysex", ImgClearSysex},      {"MidiThru", ImgThru}};
    for (const auto& [key, control] : stored) {
        const int v = ReadIni(key);
        if (v != -1) {
            control->setTag(v == 1 ? 1 : 0);
        }
    }
    LoadMonitorSettings();

    // Handlers.
    // A panel the user chose holds automatic jumps back for a while.
    const std::pair<ui::THeldButton*, void (TmainForm::*)()> panels[] = {
        {ImgButSetup, &TmainForm::ImgButSetupClick},
        {ImgButData, &TmainForm::ImgButDataClick},
        {ImgButSysex, &TmainForm::ImgButSysexClick},
        {ImgButAbout, &TmainForm::ImgButAboutClick}};
    for (const auto& [button, panelClick] : panels) {
        auto show = panelClick; // a structured binding can't be captured everywhere (clang 14)
        connect(button, &ui::THeldButton::clicked, this, [this, show] { UserChosePanel(show); });
    }
    connect(ImgButRecord, &ui::THeldButton::clicked, this, &TmainForm::ImgButRecordClick);
    connect(ImgButSend, &ui::THeldButton::clicked, this, &TmainForm::ImgButSendClick);
    ImgButThru->setLightOnClick(false);
    connect(ImgButThru, &ui::THeldButton::clicked, this, &TmainForm::ImgButThruClick);
    ImgButClear->setAction([this] {
        if (ImgButClear->tag() == 1) {
            SysexMonClear();
        } else if (ImgButClear->tag() == 2) {
            DataMonClear();
        }
    });
    ImgButHelp->setAction([this] { OpenHelp(); });
    ImgButPower->setAction([this] { close(); });
    connect(cmbMidiIn, &QComboBox::activated, this, &TmainForm::CmbMidiIn_Select);
    connect(cmbMidiOut, &QComboBox::activated, this, &TmainForm::CmbMidiOut_Select);
    connect(ImgInOpen, &ui::TOpenSwitch::clicked, this, &TmainForm::ImgInOpenClick);
    connect(ImgOutOpen, &ui::TOpenSwitch::clicked, this, &TmainForm::ImgOutOpenClick);
    connect(ImgThru, &ui::TOpenSwitch::clicked, this, &TmainForm::ImgThruClick);
    // F1 reaches the window whichever control has the focus.
    qApp->installEventFilter(this);

    ImgButSetupClick();
    Timer1->start();
    DeviceTimer = new QTimer(this);
    DeviceTimer->setInterval(1000);
    connect(DeviceTimer, &QTimer::timeout, this, &TmainForm::RefreshDevices);
}

// ---- Settings --------------------------------------------------------------

void TmainForm::LoadParam() {
    const std::filesystem::path path = ToFilesystemPath(env_.settingsReadPath);
    if (const FileResult r = settings_.LoadParam(path); !r) {
        env_.reporter.Report(SettingsFileMessage(false, path, r));
    }
}

void TmainForm::SaveParam() {
    // A device the user chose keeps its name; a stored one that is missing
    // now stays stored, so that it is opened again once it is back.
    auto stored = [this](const std::vector<std::string>& names, const std::string& chosen,
                         const std::string& missing, const char* numberKey) {
        const auto at = std::find(names.begin(), names.end(), chosen);
        if (!chosen.empty() && at != names.end()) {
            return std::pair{static_cast<int>(at - names.begin()), chosen};
        }
        return std::pair{std::max(0, ReadIni(numberKey)), missing.empty() ? chosen : missing};
    };
    // Velmora's own input port is stored by its name only: a reader that
    // knows only the number can't open it, so the number stays the one
    // stored before (a device), not the list place after the devices, which
    // a device that comes later would take.
    std::vector<std::string> inDevices = inNames_;
    if (midi_.OwnInputOffered() && !inDevices.empty() && inDevices.back() == midi_.OwnInputName) {
        inDevices.pop_back();
    }
    const auto [inNumber, inName] = stored(inDevices, midi_.MidiInDeviceName, missingIn_, "MidiIn");
    const auto [outNumber, outName] =
        stored(outNames_, midi_.MidiOutDeviceName, missingOut_, "MidiOut");
    SettingsValues v;
    v.midiIn = inNumber;
    v.midiOut = outNumber;
    // A name is stored only where it says more than the number: the first
    // device of its list is the default, and default devices keep the file
    // at its eleven lines.
    auto addName = [&v](const char* key, const std::string& name, int number,
                        const std::vector<std::string>& names) {
        if (!name.empty() && !(number == 0 && !names.empty() && names.front() == name)) {
            v.more.emplace_back(key, name);
        }
    };
    addName("MidiInName", inName, inNumber, inDevices);
    addName("MidiOutName", outName, outNumber, outNames_);
    v.midiThru = ImgThru->tag();
    v.activeSenseLed = ImgActiveSense->tag();
    v.afterTouchMonitorFilter = ImgAfterTouch->tag();
    v.jumpData = ImgJumpData->tag();
    v.jumpSysex = ImgJumpSysex->tag();
    v.clearSysex = ImgClearSysex->tag();
    SaveMonitorSettings(v);
    const std::filesystem::path path = ToFilesystemPath(env_.settingsWritePath);
    if (const FileResult r = settings_.SaveParam(path, v); !r) {
        env_.reporter.Report(SettingsFileMessage(true, path, r));
    }
}

// ---- Start-up and shutdown -------------------------------------------------

void TmainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Showing the window activates it; where the platform does not tell
    // (offscreen), the first activation runs once the window is up.
    if (firstActivation_ && !startFailed_) {
        QMetaObject::invokeMethod(this, &TmainForm::FormActivate, Qt::QueuedConnection);
    }
}

void TmainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TmainForm::FormActivate() {
    if (!firstActivation_ || startFailed_ || closing_) {
        return;
    }
    firstActivation_ = false; // a nested activation (a message box) must not start again
    if (!InitMIDI()) {
        firstActivation_ = true;
        startFailed_ = true;
        close();
        return;
    }
    if (onRouterCreate) {
        onRouterCreate();
    }
    if (!midi_.MidiOutDeviceName.empty()) {
        ImgOutOpen->setOpen(midi_.OpenMidiOut());
    }
    if (!midi_.MidiInDeviceName.empty()) {
        ImgInOpen->setOpen(session_.OpenInput());
    }
    SetExtraInputs(storedExtras_);
    DeviceTimer->start();
}

bool TmainForm::InitMIDI() {
    midi_.InputActive = false;
    if (!midi_.ListMidiOutDevices(outNames_)) {
        return false;
    }
    for (const auto& name : outNames_) {
        cmbMidiOut->addItem(QString::fromStdString(name));
    }
    if (!midi_.ListMidiInDevices(inNames_)) {
        return false;
    }
    // After the devices: Velmora's own input port, for other programs.
    const std::string own = midi_.OwnInputOffered() ? midi_.OwnInputName : std::string();
    const StartDevice in = ChooseStartInput(inNames_, own, ReadIni("MidiIn"),
                                            settings_.ReadIniText("MidiInName").value_or(""));
    if (!own.empty()) {
        inNames_.push_back(own);
    }
    for (const auto& name : inNames_) {
        cmbMidiIn->addItem(QString::fromStdString(name));
    }
    StartDevice out = ChooseStartDevice(outNames_, ReadIni("MidiOut"),
                                        settings_.ReadIniText("MidiOutName").value_or(""));
    std::string status;
    if (settings_.memoIni.empty()) {
        // A first start: never thru from a device back into itself.
        const FirstStartOutput first = ChooseFirstStartOutput(inNames_, in.index, outNames_);
        out.index = first.index;
        if (!first.thru) {
            ImgThru->setOpen(false);
            status = first.why;
        }
    }
    auto choose = [](QComboBox* list, const std::vector<std::string>& names, int index,
                     std::string& chosen) {
        list->setCurrentIndex(index);
        chosen = index >= 0 ? names[static_cast<std::size_t>(index)] : std::string();
    };
    choose(cmbMidiOut, outNames_, out.index, midi_.MidiOutDeviceName);
    choose(cmbMidiIn, inNames_, in.index, midi_.MidiInDeviceName);
    missingIn_ = in.missingName;
    missingOut_ = out.missingName;
    std::string missingText;
    for (const auto& [missing, kind] : {std::pair{missingIn_, "input"}, {missingOut_, "output"}}) {
        if (!missing.empty()) {
            missingText += (missingText.empty() ? "" : " ") + std::string("The MIDI ") + kind +
                           " '" + missing + "' is not there: choose another " + kind + ".";
        }
    }
    status += (status.empty() || missingText.empty() ? "" : " ") + missingText;
    ShowDeviceStatus(status);
    if (!missingText.empty()) {
        Warn(WarningKind::DeviceGone, missingText, missingText);
    }
    return true;
}

void TmainForm::ShowDeviceStatus(const std::string& text) {
    lblDeviceStatus->setText(QString::fromStdString(text));
    lblDeviceStatus->setToolTip(lblDeviceStatus->text());
    lblDeviceStatus->setVisible(!text.empty());
}

void TmainForm::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        FormQueryUnload();
    }
    event->accept();
}

void TmainForm::FormQueryUnload() {
    closing_ = true;
    ImgButPower->showPressed(); // its pressed face is the released picture
    DeviceTimer->stop();
    if (ImgInOpen->tag() == 1 && midi_.CloseMidiIn()) {
        ImgInOpen->setOpen(false);
    }
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
    extras_->Finish();
    capture_->Stop(); // after the inputs closed: everything they delivered is in
    if (startFailed_) {
        return;
    }
    SaveParam();
    hide();
    if (env_.closeWaitMs > 0) {
        QThread::msleep(static_cast<unsigned long>(env_.closeWaitMs));
    }
}

// ---- Panels ----------------------------------------------------------------

void TmainForm::ResetDisplay() {
    for (ui::THeldButton* b :
         {ImgButSetup, ImgButData, ImgButSysex, ImgButRecord, ImgButSend, ImgButAbout}) {
        if (b->tag() == 1) {
            b->setLit(false);
        }
    }
    for (QWidget* panel : {PanelSetup, PanelData, PanelSysex, PanelAbout}) {
        panel->move(1000, 8);
        panel->hide();
    }
}

void TmainForm::ShowPanel(ui::THeldButton* button, QWidget* panel) {
    ResetDisplay();
    button->setLit(true);
    panel->move(136, 8);
    panel->show();
}

void TmainForm::ImgButSetupClick() {
    ShowPanel(ImgButSetup, PanelSetup);
}

void TmainForm::ImgButDataClick() {
    ShowPanel(ImgButData, PanelData);
    ImgButClear->setTag(2);
}

void TmainForm::ImgButSysexClick() {
    ShowPanel(ImgButSysex, PanelSysex);
    ImgButClear->setTag(1);
}

void TmainForm::ImgButAboutClick() {
    ShowPanel(ImgButAbout, PanelAbout);
}

// ---- Sysex transfer ----------------------------------------------------------

void TmainForm::ImgButRecordClick() {
    if (ImgInOpen->tag() == 0) {
        const bool open = session_.OpenInput();
        ImgInOpen->setOpen(open);
        if (!open) {
            return;
        }
    }
    ImgButRecord->setLit(true);
    if (showRecordWindow) {
        showRecordWindow(cmbMidiIn->currentText().toStdString());
    }
    midi_.InputMode = midi::kMonitor;
    ImgButRecord->setLit(false);
}

void TmainForm::ImgButSendClick() {
    if (ImgOutOpen->tag() == 0) {
        const bool open = midi_.OpenMidiOut();
        ImgOutOpen->setOpen(open);
        if (!open) {
            return;
        }
    }
    ImgButSend->setLit(true);
    midi_.InputActive = false; // nothing received is handled until the send has ended
    if (chooseAndSendFile) {
        chooseAndSendFile(cmbMidiOut->currentText().toStdString());
    }
    ImgButSend->setLit(false);
    midi_.InputActive = midi_.InputOpen();
}

// ---- Multi Out -------------------------------------------------------------

void TmainForm::ImgButThruClick() {
    if (ImgButSetup->tag() == 0) {
        ImgButSetupClick();
    }
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
    ImgButThru->setLit(true);
    midi_.InputMode = midi::kMultiOut;
    if (showRouterWindow) {
        showRouterWindow();
    }
    if (ImgOutOpen->tag() == 0 && !midi_.MidiOutDeviceName.empty()) {
        if (serviceLost_) {
            // The service stopped while the router held its ports: the
            // output opens with the service, which the status line says.
            outWentAway_ = true;
        } else {
            ImgOutOpen->setOpen(midi_.OpenMidiOut());
        }
    }
    ImgButThru->setLit(false);
    midi_.InputMode = midi::kMonitor;
    if (serviceLost_) {
        RefreshDevices(); // it may be back already: no router keeps it away now
    }
}

// ---- Help ------------------------------------------------------------------

void TmainForm::OpenHelp() {
    env_.help.OpenHelpContext(1001);
}

int TmainForm::HelpContext() const {
    // The panel that holds the focus, else the panel shown.
    const std::pair<QWidget*, int> panels[] = {
        {PanelSetup, 1002}, {PanelData, 1003}, {PanelSysex, 1004}, {PanelAbout, 1001}};
    if (const QWidget* focus = focusWidget()) {
        for (const auto& [panel, context] : panels) {
            if (panel->isAncestorOf(focus)) {
                return context;
            }
        }
    }
    for (const auto& [panel, context] : panels) {
        if (panel->isVisible()) {
            return context;
        }
    }
    return 1008;
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Memo2 || watched == Memo2->viewport()) && HistoryBoxEvent(event)) {
        return true;
    }
    // The find bar: Enter finds the next line, Shift+Enter the previous,
    // Escape closes it.
    if (watched == edtFind && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            edtFind->hide();
            Memo2->setMarks({});
            Memo2->setCenterOnScroll(false);
            notFound_.clear();
            ShowMonitorStatus();
            Memo2->setFocus();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            FindInHistory(edtFind->text(), !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    // Key preview: F1 opens the help whichever control of this window has the
    // focus, and the key still goes on to the control. A key that the control
    // ignores travels on to its parents and up to this window, so the help
    // opens only where the key arrives first: the focused control, or this
    // window when no control has the focus.
    // The page opened is the one of the panel with the focus; in another
    // window that names its page (record, send, Multi Out), that page.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        QWidget* first = focusWidget() != nullptr ? focusWidget() : this;
        if (watched == first) {
            env_.help.OpenHelpContext(HelpContext());
        } else if (auto* widget = qobject_cast<QWidget*>(watched)) {
            QWidget* window = widget->window();
            const QVariant context = window->property("helpContext");
            QWidget* windowFirst =
                window->focusWidget() != nullptr ? window->focusWidget() : window;
            if (window != this && context.isValid() && watched == windowFirst) {
                env_.help.OpenHelpContext(context.toInt());
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The hand-off and the monitors -----------------------------------------

void TmainForm::HandleSignal(const midi::Handed& handed) {
    if (handed.source != 0) {
        HandleExtraSignal(handed);
        return;
    }
    FeedTools(handed);
    if (handed.kind == midi::HandedKind::Sysex) {
        if (view_.Sources()) {
            AddSourceLine(0xF0, SysexHistoryLine(handed.sysex), SourceName(0));
        }
        SysexMonitorUpdate(SysexHexText(handed.sysex));
    } else if (handed.kind == midi::HandedKind::Short) {
        midiAnalyse(handed.message);
    }
}

void TmainForm::midiAnalyse(ShortMessage message) {
    details_->Feed(message, midi_.ElapsedMs()); // every message: the details follow the stream
    AnalysisPreferences prefs;
    prefs.activeSenseLed = ImgActiveSense->tag() == 1;
    prefs.afterTouchFilter = ImgAfterTouch->tag() == 1;
    prefs.jumpToData = ImgJumpData->tag() == 1;
    AnalysisResult r = AnalyseShortMessage(message, prefs);
    if (r.led == Led::ActiveSense) {
        LightLed(*ImgLedAS);
    } else if (r.led == Led::MidiData) {
        LightLed(*ImgLedData);
    }
    if (r.jumpToData && ImgButData->tag() == 0 && MayJump(Panel::Data)) {
        ImgButDataClick();
    }
    if (!r.showFields) {
        return;
    }
    history_.Append(r.explicitText.historyLine);
    if (ShowInHistory(r, message)) {
        ShowFieldsSoon(std::move(r));
    }
}

void TmainForm::SysexMonitorUpdate(const std::string& block) {
    LightLed(*ImgLedSysex);
    // Paused or hidden, the box stands still and is rebuilt from the log later.
    const bool hidden = HidesKind(view_.Filter(), kKindSysex);
    const bool still = view_.Paused() || hidden;
    if (ImgClearSysex->tag() == 1) {
        if (still) {
            sysexLog_.Clear();
            sysexFrozen_ = true;
        } else {
            SysexMonClear();
        }
    }
    if (ImgJumpSysex->tag() == 1 && !hidden) {
        NoteSysexBlock(jumpGuard_, midi_.ElapsedMs());
        if (ImgButSysex->tag() == 0 && MayJump(Panel::Sysex)) {
            ImgButSysexClick();
        }
    }
    SysexMonitorLog::Update u = sysexLog_.AddBlock(block);
    details_->NameBlock(u.added[0], sysexLog_.BlockCount(), block);
    if (still) {
        sysexFrozen_ = true;
        view_.AddBlock();
        hiddenBlocks_ += hidden ? 1 : 0;
        ShowMonitorStatus();
        return;
    }
    AppendAndTrim(*Memo1, u.added, u.droppedLines);
    PutCaretNearEnd(*Memo1, 5);
}

void TmainForm::SysexMonClear() {
    sysexLog_.Clear();
    Memo1->clear();
    sysexFrozen_ = false;
    hiddenBlocks_ = 0;
    ShowMonitorStatus();
}

void TmainForm::DataMonClear() {
    for (std::size_t i = 0; i < 4; ++i) {
        for (QLabel* l : {lblBin[i], lblHex[i], lblDec[i], lblExp[i]}) {
            l->clear();
        }
    }
    history_.Clear();
    Memo2->clear();
    details_->ClearLine();
    Gauge1->setProgress(0);
    view_.Clear();
    frozenFields_.reset();
    latestFields_.reset();
    foundLine_.reset();
    warning_.clear();
    ShowMonitorStatus();
}

// The LEDs a stream kept lit are looked at by the timer's next turn, from
// the event loop (a serve can run inside a wait for the MIDI service).
void TmainForm::StreamEnded() {
    TickAt(*Timer1, 0);
}

void TmainForm::Timer1Timer() {
    if (path().thruLoopBroken.exchange(false)) {
        ImgThru->setOpen(false);
        ShowDeviceStatus("Thru was switched off: what it passed on came back at the input "
                         "(a feedback loop). Choose another output before switching it on.");
        thruLoopShown_ = true; // over the monitors too, where a flood is watched
        Warn(WarningKind::LoopBroken,
             "Thru was switched off: what it passed on came back at the input (a feedback "
             "loop). Choose another output before switching it on.");
        ShowMonitorStatus();
    }
    ShowLostInput();
    if (arrivedWhilePaused_ && midi_.ElapsedMs() - resumedAtMs_ >= kResumeNoticeMs) {
        arrivedWhilePaused_.reset();
        ShowMonitorStatus();
    }
    // A stream is taken in a batch at a time: while messages wait in the
    // hand-off, the LEDs lit by the last batch stay lit, as they would with
    // each message shown on arrival, instead of blinking at every batch.
    // While a stream lasts they stay lit without a tick of their own: its
    // end looks at them again (StreamEnded).
    const bool waiting = signal().Queued() > 0;
    const bool streaming = signal().Streaming();
    const std::int32_t now = midi_.ElapsedMs();
    std::optional<std::int32_t> nextOut; // when the next lit LED goes out
    for (ui::TLed* led : {ImgLedSysex, ImgLedData, ImgLedAS}) {
        const int stamp = led->tag();
        if (stamp > 0 && now > stamp + kLedLitMs && !waiting && !streaming) {
            led->setTag(0);
        } else if (stamp > 0 && !streaming) {
            const std::int32_t out =
                now > stamp + kLedLitMs ? now + kWaitingTickMs : stamp + kLedLitMs + 1;
            nextOut = std::min(nextOut.value_or(out), out);
        }
        // The router's routing stamps the data LED from the MIDI thread.
        // Only a change is drawn: the timer runs for the window's whole life.
        if (led->showsOnFace() != (led->tag() != 0)) {
            led->showFace(led->tag() != 0);
        }
    }
    if (arrivedWhilePaused_.has_value() || midi_.InputMode.load() == midi::kMultiOut) {
        TickAt(*Timer1, kLitTickMs);
    } else if (nextOut) {
        TickAt(*Timer1, std::clamp(*nextOut - now, 1, kDarkTickMs));
    } else {
        TickAt(*Timer1, kDarkTickMs);
    }
}

// Lights an LED for a message handled now. The timer, when it only looks for
// warnings, comes back when the LED is due to go out; when it already ticks
// for a lit LED, it finds the new stamp at its next tick; in a stream, the
// stream's end looks at it.
void TmainForm::LightLed(ui::TLed& led) {
    led.setTag(midi_.ElapsedMs());
    if (Timer1->interval() == kDarkTickMs && !signal().Streaming()) {
        TickAt(*Timer1, kLedLitMs + 1);
    }
}

// ---- Setup panel -----------------------------------------------------------

void TmainForm::CmbMidiIn_Select(int index) {
    if (index < 0 || index >= static_cast<int>(inNames_.size()) ||
        inNames_[static_cast<std::size_t>(index)] == midi_.MidiInDeviceName) {
        return;
    }
    if (ImgInOpen->tag() == 1) {
        if (!midi_.CloseMidiIn()) {
            // The old port still delivers: the list goes on showing it.
            const auto at = std::find(inNames_.begin(), inNames_.end(), midi_.MidiInDeviceName);
            cmbMidiIn->setCurrentIndex(
                at == inNames_.end() ? -1 : static_cast<int>(at - inNames_.begin()));
            return;
        }
        ImgInOpen->setOpen(false);
    }
    midi_.MidiInDeviceName = inNames_[static_cast<std::size_t>(index)];
    missingIn_.clear();
    inWentAway_ = false;
    ShowDeviceStatus({});
    Unwarn(WarningKind::DeviceGone);
    ImgInOpen->setOpen(session_.OpenInput());
    MainInputChosen();
}

void TmainForm::CmbMidiOut_Select(int index) {
    if (index < 0 || index >= static_cast<int>(outNames_.size()) ||
        outNames_[static_cast<std::size_t>(index)] == midi_.MidiOutDeviceName) {
        return;
    }
    // An output that fails to close is replaced all the same: opening over
    // it closes it.
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
    midi_.MidiOutDeviceName = outNames_[static_cast<std::size_t>(index)];
    missingOut_.clear();
    outWentAway_ = false;
    ShowDeviceStatus({});
    Unwarn(WarningKind::DeviceGone);
    ImgOutOpen->setOpen(midi_.OpenMidiOut());
}

void TmainForm::ImgInOpenClick() {
    if (ImgInOpen->tag() != 1) {
        ImgInOpen->setOpen(session_.OpenInput());
    } else if (midi_.CloseMidiIn()) {
        ImgInOpen->setOpen(false);
    }
}

void TmainForm::ImgOutOpenClick() {
    if (ImgOutOpen->tag() != 1) {
        ImgOutOpen->setOpen(midi_.OpenMidiOut());
    } else if (midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
}

void TmainForm::ImgThruClick() {
    ImgThru->setOpen(ImgThru->tag() != 1);
    if (thruLoopShown_) {
        thruLoopShown_ = false;
        Unwarn(WarningKind::LoopBroken);
        ShowMonitorStatus();
    }
}

// ---- Devices coming and going -----------------------------------------------

std::uint64_t TmainForm::LostInput() const {
    return midi_.LostInputEvents() + (extras_ ? extras_->LostEvents() : 0);
}

void TmainForm::ShowLostInput() {
    const std::uint64_t lost = LostInput();
    if (lost == lostShown_) {
        return;
    }
    lostShown_ = lost;
    const QString text = QStringLiteral("Lost input: %1").arg(lost);
    for (QLabel* label : {lblLostData, lblLostSysex}) {
        label->setText(text);
        label->setToolTip(
            QString::fromStdString(LostInputTooltip(lost, midi_.MalformedInputEvents())));
        label->setVisible(lost > 0);
    }
    if (lost > 0) {
        Warn(WarningKind::InputLost, "Lost input: " + std::to_string(lost) + ". " +
                                         LostInputTooltip(lost, midi_.MalformedInputEvents()));
    }
}

void TmainForm::Warn(WarningKind kind, const std::string& text, const std::string& subject) {
    if (warnings_.Raise(kind, text, subject)) {
        lineWarning->setText(QString::fromStdString(warnings_.LineText()));
    }
}

void TmainForm::Unwarn(WarningKind kind) {
    if (warnings_.Clear(kind)) {
        lineWarning->setText(QString::fromStdString(warnings_.LineText()));
    }
}

void TmainForm::DismissWarning() {
    if (warnings_.Dismiss()) {
        lineWarning->setText(QString::fromStdString(warnings_.LineText()));
    }
}

void TmainForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && lineWarning->isVisible()) {
        DismissWarning();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TmainForm::CloseLostDevices(const QString& why) {
    if (ImgInOpen->tag() == 1 && midi_.CloseMidiIn()) {
        ImgInOpen->setOpen(false);
        inWentAway_ = true;
    }
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
        outWentAway_ = true;
    }
    ShowDeviceStatus(why.toStdString());
    Warn(WarningKind::ServiceGone, why.toStdString(), "stopped");
}

bool TmainForm::RefreshSide(bool output, const std::vector<std::string>& names) {
    std::vector<std::string>& listed = output ? outNames_ : inNames_;
    if (names == listed) {
        return false;
    }
    listed = names;
    QComboBox* list = output ? cmbMidiOut : cmbMidiIn;
    const std::string& chosen = output ? midi_.MidiOutDeviceName : midi_.MidiInDeviceName;
    const QSignalBlocker quiet(list);
    list->clear();
    for (const auto& name : listed) {
        list->addItem(QString::fromStdString(name));
    }
    const auto at = std::find(listed.begin(), listed.end(), chosen);
    list->setCurrentIndex(at == listed.end() ? -1 : static_cast<int>(at - listed.begin()));
    return true;
}

void TmainForm::RefreshDevices() {
    if (closing_) {
        return;
    }
    if (!midi_.service().Running()) {
        if (!serviceLost_) {
            serviceLost_ = true;
            RefreshSide(true, {});
            RefreshSide(false, {});
            CloseLostDevices(QStringLiteral("The MIDI service (%1) stopped: its ports are closed. "
                                            "Velmora goes on, and opens them again when the "
                                            "service is back.")
                                 .arg(QString::fromStdString(midi_.service().Name())));
            extras_->CloseAll();
            midi_.ReplaceService(noService_); // the old one may now be ended
            listedChanges_.reset();
        }
        // Not while the router window has ports of the old service open.
        const bool routing = midi_.InputMode.load() == midi::kMultiOut;
        midi::MidiService* back = env_.restartService && !routing ? env_.restartService() : nullptr;
        if (back == nullptr) {
            return;
        }
        midi_.ReplaceService(*back);
        listedChanges_.reset(); // a new service counts from its own start
        serviceLost_ = false;
        ShowDeviceStatus({});
        Warn(WarningKind::ServiceGone,
             "The MIDI service (" + midi_.service().Name() +
                 ") is back: the chosen devices open again as they are listed.",
             "back");
    }
    // The lists are read again only when the service says they changed, or
    // where it cannot tell: reading them asks a JACK server each time.
    const std::optional<std::uint64_t> listChanges = midi_.service().DeviceListChanges();
    bool outsChanged = false;
    bool insChanged = false;
    if (!listChanges || listChanges != listedChanges_) {
        outsChanged = RefreshSide(true, midi::OutDeviceNames(midi_.service()));
        insChanged = RefreshSide(false, midi_.InputEntries());
        listedChanges_ = listChanges;
    }
    RefreshExtraInputs();
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        return !name.empty() && std::find(names.begin(), names.end(), name) != names.end();
    };
    std::string status;
    bool changed = outsChanged || insChanged;
    for (const bool output : {false, true}) {
        std::string& missing = output ? missingOut_ : missingIn_;
        std::string& chosen = output ? midi_.MidiOutDeviceName : midi_.MidiInDeviceName;
        const std::vector<std::string>& names = output ? outNames_ : inNames_;
        bool& wentAway = output ? outWentAway_ : inWentAway_;
        ui::TOpenSwitch* open = output ? ImgOutOpen : ImgInOpen;
        // A stored device that was missing at the start is taken up once listed.
        if (!missing.empty() && listed(names, missing)) {
            chosen = missing;
            missing.clear();
            wentAway = true;
        }
        const bool isOpen = open->tag() == 1;
        const bool portGone = isOpen && (output ? midi_.MidiOutHandle().Gone() : midi_.InputGone());
        const DeviceWatchStep step =
            WatchDevice({chosen, isOpen, wentAway}, listed(names, chosen), portGone);
        if (step.action == DeviceAction::None) {
            continue;
        }
        changed = true;
        if (step.action == DeviceAction::Close || step.action == DeviceAction::CloseAndReopen) {
            // A device left is closed, not left pretending to be open.
            if (!(output ? midi_.CloseMidiOut() : midi_.CloseMidiIn())) {
                continue;
            }
            open->setOpen(false);
            wentAway = true;
        }
        if (step.left) {
            status += DeviceLeftText(output ? "output" : "input", chosen) + " ";
        }
        if (step.action == DeviceAction::Reopen || step.action == DeviceAction::CloseAndReopen) {
            wentAway = false;
            open->setOpen(output ? midi_.OpenMidiOut() : session_.OpenInput());
            QComboBox* list = output ? cmbMidiOut : cmbMidiIn;
            const auto at = std::find(names.begin(), names.end(), chosen);
            list->setCurrentIndex(static_cast<int>(at - names.begin()));
        }
    }
    if (!changed) {
        return;
    }
    if (!status.empty() || (!inWentAway_ && !outWentAway_ && missingIn_.empty() &&
                            missingOut_.empty() && !serviceLost_)) {
        ShowDeviceStatus(status.empty() ? std::string()
                                        : status + "It opens again when it is back.");
        if (status.empty()) {
            Unwarn(WarningKind::DeviceGone);
        } else {
            Warn(WarningKind::DeviceGone, status + "It opens again when it is back.", status);
        }
    }
}

} // namespace velmora::app
