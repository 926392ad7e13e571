// The window's tools beside the monitors: capture to a MIDI file, the panic
// and the stream check; the capture's and panic's notices show on the
// monitors' status line, the stream check's faults on the warning line.
#include <QMenu>

#include "app/capture_action.h"
#include "app/extra_inputs.h"
#include "app/lint_option.h"
#include "app/main_form.h"
#include "app/panic_action.h"

namespace velmora::app {

void TmainForm::BuildTools() {
    extras_ = std::make_unique<ExtraInputs>(midi_, path(), *this);
    capture_ = new CaptureAction(*this, env_.reporter);
    capture_->inputNames = [this] {
        std::vector<std::string> names = {midi_.MidiInDeviceName};
        const std::vector<std::string> extra = ExtraInputNames();
        names.insert(names.end(), extra.begin(), extra.end());
        return names;
    };
    capture_->notice = [this](const QString& text) { ShowWarning(text); };
    panic_ = new PanicAction(*this, midi_);
    panic_->notice = [this](const QString& text) { ShowWarning(text); };
    lint_ = new LintOption(*this, [this] { return midi_.InputOpen(); });
    // Its faults go to the warning line, each a new subject, so one the user
    // dismissed does not hide the next.
    lint_->warn = [this](const QString& text) {
        Warn(WarningKind::StreamFault, "Check: " + text.toStdString(), text.toStdString());
    };
    lint_->cleared = [this] { Unwarn(WarningKind::StreamFault); };
    // Clocks are handed over only while a tool takes them; starting,
    // stopping and switching change the actions.
    for (QAction* a : {capture_->action(), lint_->action()}) {
        connect(a, &QAction::changed, this,
                [this] { path().handClocks.store(capture_->Capturing() || lint_->On()); });
    }
}

void TmainForm::FeedTools(const midi::Handed& handed) {
    capture_->Feed(handed);
    lint_->Feed(handed);
    if (handed.kind == midi::HandedKind::Short) {
        panic_->Feed(handed.message);
    }
}

void TmainForm::AddToolActions(QMenu* menu) {
    menu->addAction(capture_->action());
    menu->addAction(lint_->action());
    menu->addAction(panic_->action());
    menu->addAction(QStringLiteral("E&xtra inputs..."), this, [this] { ChooseExtraInputs(); });
    if (showLoopbackWindow) {
        menu->addAction(QStringLiteral("&Loopback test..."), this,
                        [this] { showLoopbackWindow(); });
    }
    menu->addSeparator();
}

// Stored only when on: a window at its defaults keeps the same settings file.
void TmainForm::LoadToolSettings() {
    lint_->SetOn(settings_.ReadIniText("StreamCheck").value_or(std::string()) == "1");
}

void TmainForm::SaveToolSettings(SettingsValues& values) const {
    if (lint_->On()) {
        values.more.emplace_back("StreamCheck", "1");
    }
}

void TmainForm::ShowWarning(const QString& text) {
    warning_ = text;
    ShowMonitorStatus();
}

} // namespace velmora::app
