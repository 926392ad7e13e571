// The window's extra inputs: what they hand over goes to the history (with
// the source column) and the capture only; the Setup panel's input alone
// feeds the data rows, the LEDs, the details, the stream check, the panic's
// notes and the sysex monitor, whose saved .syx stays one device's bytes.
#include <QMenu>
#include <algorithm>

#include "app/capture_action.h"
#include "app/extra_inputs.h"
#include "app/extra_inputs_dialog.h"
#include "app/main_form.h"
#include "app/monitor_text.h"
#include "core/analysis.h"
#include "core/source_column.h"
#include "ui/from_core.h"

namespace velmora::app {
namespace {

std::string ExtraInputKey(std::size_t number) {
    return "ExtraInput" + std::to_string(number);
}

} // namespace

void TmainForm::SetExtraInputs(const std::vector<std::string>& names) {
    if (firstActivation_) {
        storedExtras_ = names; // the service is not used before the start
        return;
    }
    extras_->Choose(names, midi_.MidiInDeviceName);
    storedExtras_.clear();
    RefreshExtraInputs();
    UpdateSourceColumn();
}

std::vector<std::string> TmainForm::ExtraInputNames() const {
    return firstActivation_ ? storedExtras_ : extras_->Chosen();
}

void TmainForm::ChooseExtraInputs() {
    const auto chosen = AskExtraInputs(this, midi::InDeviceNames(midi_.service()),
                                       ExtraInputNames(), midi_.MidiInDeviceName);
    if (chosen) {
        SetExtraInputs(*chosen);
    }
}

void TmainForm::MainInputChosen() {
    const std::vector<std::string> names = ExtraInputNames();
    if (std::find(names.begin(), names.end(), midi_.MidiInDeviceName) != names.end()) {
        SetExtraInputs(names);
    }
}

void TmainForm::UpdateSourceColumn() {
    const bool on = !ExtraInputNames().empty();
    if (on != view_.Sources()) {
        view_.SetSources(on);
        if (!view_.Paused()) {
            RebuildHistoryBox();
        }
    }
}

std::string TmainForm::SourceName(std::size_t source) const {
    const std::string& name = source == 0 ? midi_.MidiInDeviceName : extras_->Name(source);
    return ui::ToCore(QString::fromStdString(name));
}

void TmainForm::HandleExtraSignal(const midi::Handed& handed) {
    const std::string& name = extras_->Name(handed.source);
    capture_->Feed(handed, name);
    if (handed.kind == midi::HandedKind::Sysex) {
        AddSourceLine(0xF0, SysexHistoryLine(handed.sysex), SourceName(handed.source));
    } else if (handed.kind == midi::HandedKind::Short) {
        // The same lines as the Setup panel's input gets, without details:
        // those follow that input's stream.
        AnalysisPreferences prefs;
        prefs.activeSenseLed = ImgActiveSense->tag() == 1;
        prefs.afterTouchFilter = ImgAfterTouch->tag() == 1;
        const AnalysisResult r = AnalyseShortMessage(handed.message, prefs);
        if (r.showFields) {
            const std::string& full = r.explicitText.historyLine;
            AddSourceLine(handed.message, full.substr(0, full.size() - 2),
                          SourceName(handed.source));
        }
    }
}

void TmainForm::AddSourceLine(ShortMessage message, std::string line, std::string source) {
    const std::size_t hiddenBefore = view_.Hidden();
    HistoryStep step =
        view_.Add(midi_.ElapsedMs(), message, std::move(line), {}, std::move(source));
    if (view_.Paused()) {
        ShowMonitorStatusSoon();
        return;
    }
    ShowHistoryStep(step, hiddenBefore);
}

// Each one that leaves is closed, said on the warning line while it is
// away, and opened again when it is back.
void TmainForm::RefreshExtraInputs() {
    if (firstActivation_) {
        return;
    }
    const ExtraInputs::Watch watch = extras_->Refresh(inNames_);
    if (watch.away.empty()) {
        Unwarn(WarningKind::ExtraInputGone);
        return;
    }
    std::string text;
    for (const std::string& name : watch.away) {
        text += (text.empty() ? "The extra MIDI input '" : "', '") + name;
    }
    text += watch.away.size() == 1 ? "' is not there" : "' are not there";
    Warn(WarningKind::ExtraInputGone,
         text + (watch.away.size() == 1 ? ": it opens" : ": they open") + " when listed again.",
         text);
}

void TmainForm::LoadInputSettings() {
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= ExtraInputs::kMost; ++k) {
        if (auto name = settings_.ReadIniText(ExtraInputKey(k)); name && !name->empty()) {
            names.push_back(std::move(*name));
        }
    }
    SetExtraInputs(names);
}

// Stored only when chosen: without extra inputs the file is as before.
void TmainForm::SaveInputSettings(SettingsValues& values) const {
    const std::vector<std::string> names = ExtraInputNames();
    for (std::size_t k = 1; k <= names.size(); ++k) {
        values.more.emplace_back(ExtraInputKey(k), names[k - 1]);
    }
}

} // namespace velmora::app
