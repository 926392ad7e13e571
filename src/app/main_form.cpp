#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QThread>

#include "app/monitor_text.h"
#include "app/settings_location.h"
#include "core/analysis.h"
#include "ui/from_core.h"
#include "ui/skin_pictures.h"

namespace velmora::app {

TmainForm::TmainForm(MainFormEnvironment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)), midi_(env_.service, env_.reporter, env_.ticks),
      signal_(*this), callback_(midi_, tags_, router_, signal_) {
    midi_.SetWaitHook([this] { signal_.ServePending(); });
    BuildWindow();
    FormCreate();
}

TmainForm::~TmainForm() {
    // FormDestroy: the ports are closed by now; stop any late hand-off.
    midi_.CloseMidiIn();
    signal_.Shutdown();
    env_.help.CloseAll();
}

void TmainForm::FormCreate() {
    setWindowTitle(QStringLiteral(" ") + QApplication::applicationName());
    LoadParam();
    startFailed_ = false;
    firstActivation_ = true;
    midi_.StartClock();
    Timer1 = new QTimer(this);
    Timer1->setInterval(25);
    connect(Timer1, &QTimer::timeout, this, &TmainForm::Timer1Timer);
    midi_.InputMode = midi::kMonitor;

    for (ui::THeldButton* b : {ImgButSetup, ImgButData, ImgButSysex, ImgButRecord, ImgButSend,
                               ImgButThru, ImgButAbout}) {
        b->setLit(false);
    }
    ImgButClear->setTag(0);
    ImgButClear->showReleased();
    ImgButHelp->setTag(0);
    ImgButHelp->showReleased();
    ImgButPower->showReleased(); // its released face is the lit picture

    // The tags the input callback reads are the shared ones.
    ImgOutOpen->bindTag(tags_.ImgOutOpen);
    ImgThru->bindTag(tags_.ImgThru);
    ImgLedData->bindTag(tags_.ImgLedData);

    ImgActiveSense->setChecked(true);
    ImgAfterTouch->setChecked(false);
    ImgJumpData->setChecked(true);
    ImgJumpSysex->setChecked(true);
    ImgClearSysex->setChecked(false);
    ImgInOpen->setOpen(false);
    ImgOutOpen->setOpen(false);
    ImgThru->setOpen(true);
    ImgLedSysex->setTag(0);
    ImgLedData->setTag(0);
    ImgLedAS->setTag(0);

    cmbMidiThru->addItem(QStringLiteral("As Input"));
    for (int n = 1; n <= 16; ++n) {
        cmbMidiThru->addItem(QStringLiteral("Channel %1").arg(n));
    }
    cmbMidiThru->setCurrentIndex(0);
    connect(cmbMidiThru, &QComboBox::currentIndexChanged, this,
            [this](int index) { tags_.cmbMidiThru.store(index); });
    tags_.cmbMidiThru.store(0);

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

    // Handlers.
    connect(ImgButSetup, &ui::THeldButton::clicked, this, &TmainForm::ImgButSetupClick);
    connect(ImgButData, &ui::THeldButton::clicked, this, &TmainForm::ImgButDataClick);
    connect(ImgButSysex, &ui::THeldButton::clicked, this, &TmainForm::ImgButSysexClick);
    connect(ImgButAbout, &ui::THeldButton::clicked, this, &TmainForm::ImgButAboutClick);
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
}

// ---- Settings --------------------------------------------------------------

void TmainForm::LoadParam() {
    const SettingsResult r = settings_.LoadParam(ToFilesystemPath(env_.settingsReadPath));
    if (!r) {
        env_.reporter.Report(r.message);
    }
}

void TmainForm::SaveParam() {
    SettingsValues v;
    v.midiIn = midi_.MidiInDevice;
    v.midiOut = midi_.MidiOutDevice;
    v.midiThru = ImgThru->tag();
    v.activeSenseLed = ImgActiveSense->tag();
    v.afterTouchMonitorFilter = ImgAfterTouch->tag();
    v.jumpData = ImgJumpData->tag();
    v.jumpSysex = ImgJumpSysex->tag();
    v.clearSysex = ImgClearSysex->tag();
    const SettingsResult r = settings_.SaveParam(ToFilesystemPath(env_.settingsWritePath), v);
    if (!r) {
        env_.reporter.Report(r.message);
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
    ImgOutOpen->setOpen(midi_.OpenMidiOut());
    const bool inOpen = midi_.OpenMidiIn(callback_.AsCallback());
    ImgInOpen->setOpen(inOpen);
}

bool TmainForm::InitMIDI() {
    midi_.InputActive = false;
    std::vector<std::string> outs;
    if (!midi_.ListMidiOutDevices(outs)) {
        return false;
    }
    for (const auto& name : outs) {
        cmbMidiOut->addItem(QString::fromStdString(name));
    }
    midi_.MidiOutDevice = 0;
    cmbMidiOut->setCurrentIndex(0);
    if (const int v = ReadIni("MidiOut"); v != -1 && v < cmbMidiOut->count()) {
        midi_.MidiOutDevice = v;
        cmbMidiOut->setCurrentIndex(v);
    }
    std::vector<std::string> ins;
    if (!midi_.ListMidiInDevices(ins)) {
        return false;
    }
    for (const auto& name : ins) {
        cmbMidiIn->addItem(QString::fromStdString(name));
    }
    midi_.MidiInDevice = 0;
    cmbMidiIn->setCurrentIndex(0);
    if (const int v = ReadIni("MidiIn"); v != -1 && v < cmbMidiIn->count()) {
        midi_.MidiInDevice = v;
        cmbMidiIn->setCurrentIndex(v);
    }
    return true;
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
    if (ImgInOpen->tag() == 1 && midi_.CloseMidiIn()) {
        ImgInOpen->setOpen(false);
    }
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
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

void TmainForm::ImgButSetupClick() { ShowPanel(ImgButSetup, PanelSetup); }

void TmainForm::ImgButDataClick() {
    ShowPanel(ImgButData, PanelData);
    ImgButClear->setTag(2);
}

void TmainForm::ImgButSysexClick() {
    ShowPanel(ImgButSysex, PanelSysex);
    ImgButClear->setTag(1);
}

void TmainForm::ImgButAboutClick() { ShowPanel(ImgButAbout, PanelAbout); }

// ---- Sysex transfer ----------------------------------------------------------

void TmainForm::ImgButRecordClick() {
    if (ImgInOpen->tag() == 0) {
        const bool open = midi_.OpenMidiIn(callback_.AsCallback());
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
    if (ImgOutOpen->tag() == 0) {
        ImgOutOpen->setOpen(midi_.OpenMidiOut());
    }
    ImgButThru->setLit(false);
    midi_.InputMode = midi::kMonitor;
}

// ---- Help ------------------------------------------------------------------

void TmainForm::OpenHelp() { env_.help.OpenHelpContext(1001); }

void TmainForm::keyPressEvent(QKeyEvent* event) {
    // F1 is seen by the key preview below.
    QWidget::keyPressEvent(event);
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    // Key preview: F1 opens the help whichever control of this window has the
    // focus, and the key still goes on to the control. A key that the control
    // ignores travels on to its parents and up to this window, so the help
    // opens only where the key arrives first: the focused control, or this
    // window when no control has the focus.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        QWidget* first = focusWidget() != nullptr ? focusWidget() : this;
        if (watched == first) {
            OpenHelp();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The hand-off and the monitors -----------------------------------------

void TmainForm::HandleSignal(char code) {
    if (code == '1') {
        SysexMonitorUpdate();
    }
    if (code == '2') {
        midiAnalyse(midi_.LastShortMessage.load());
    }
}

void TmainForm::midiAnalyse(ShortMessage message) {
    AnalysisPreferences prefs;
    prefs.activeSenseLed = ImgActiveSense->tag() == 1;
    prefs.afterTouchFilter = ImgAfterTouch->tag() == 1;
    prefs.jumpToData = ImgJumpData->tag() == 1;
    const AnalysisResult r = AnalyseShortMessage(message, prefs);
    if (r.led == Led::ActiveSense) {
        ImgLedAS->setTag(midi_.ElapsedMs());
    } else if (r.led == Led::MidiData) {
        ImgLedData->setTag(midi_.ElapsedMs());
    }
    if (r.jumpToData && ImgButData->tag() == 0) {
        ImgButDataClick();
    }
    if (!r.showFields) {
        return;
    }
    const std::string& line = r.explicitText.historyLine;
    const std::size_t before = history_.Text().size();
    history_.Append(line);
    const bool dropped = history_.Text().size() != before + line.size();
    const std::string shown = line.substr(0, line.size() - 2);
    AppendAndTrim(*Memo2, std::span(&shown, 1), dropped ? 1 : 0);
    PutCaretNearEnd(*Memo2, 3);

    for (std::size_t i = 0; i < 4; ++i) {
        lblDec[i]->setText(QString::fromStdString(r.decimal[i]));
        lblHex[i]->setText(QString::fromStdString(r.hexadecimal[i]));
        lblBin[i]->setText(QString::fromStdString(r.binary[i]));
        lblExp[i]->setText(ui::FromCore(r.explicitText.labels[i]));
    }
    if (r.explicitText.bar) {
        Gauge1->setProgress(*r.explicitText.bar);
    }
}

void TmainForm::SysexMonitorUpdate() {
    ImgLedSysex->setTag(midi_.ElapsedMs());
    if (ImgClearSysex->tag() == 1) {
        SysexMonClear();
    }
    if (ImgJumpSysex->tag() == 1 && ImgButSysex->tag() == 0) {
        ImgButSysexClick();
    }
    const SysexMonitorLog::Update u = sysexLog_.AddBlock(midi_.PendingSysexText);
    AppendAndTrim(*Memo1, u.added, u.droppedLines);
    PutCaretNearEnd(*Memo1, 5);
}

void TmainForm::SysexMonClear() {
    sysexLog_.Clear();
    Memo1->clear();
}

void TmainForm::DataMonClear() {
    for (std::size_t i = 0; i < 4; ++i) {
        for (QLabel* l : {lblBin[i], lblHex[i], lblDec[i], lblExp[i]}) {
            l->clear();
        }
    }
    history_.Clear();
    Memo2->clear();
    Gauge1->setProgress(0);
}

void TmainForm::Timer1Timer() {
    for (ui::TLed* led : {ImgLedSysex, ImgLedData, ImgLedAS}) {
        const int stamp = led->tag();
        if (midi_.ElapsedMs() > stamp + 50 && stamp > 0) {
            led->setTag(0);
        }
        // The router's routing stamps the data LED from the MIDI thread.
        // Only a change is drawn: the timer runs for the window's whole life.
        if (led->showsOnFace() != (led->tag() != 0)) {
            led->showFace(led->tag() != 0);
        }
    }
}

// ---- Setup panel -----------------------------------------------------------

void TmainForm::CmbMidiIn_Select(int index) {
    if (index == midi_.MidiInDevice) {
        return;
    }
    if (ImgInOpen->tag() == 1 && midi_.CloseMidiIn()) {
        ImgInOpen->setOpen(false);
    }
    midi_.MidiInDevice = index;
    ImgInOpen->setOpen(midi_.OpenMidiIn(callback_.AsCallback()));
}

void TmainForm::CmbMidiOut_Select(int index) {
    if (index == midi_.MidiOutDevice) {
        return;
    }
    if (ImgOutOpen->tag() == 1 && midi_.CloseMidiOut()) {
        ImgOutOpen->setOpen(false);
    }
    midi_.MidiOutDevice = index;
    ImgOutOpen->setOpen(midi_.OpenMidiOut());
}

void TmainForm::ImgInOpenClick() {
    if (ImgInOpen->tag() != 1) {
        ImgInOpen->setOpen(midi_.OpenMidiIn(callback_.AsCallback()));
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

void TmainForm::ImgThruClick() { ImgThru->setOpen(ImgThru->tag() != 1); }

} // namespace velmora::app
