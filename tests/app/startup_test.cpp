// Start-up: what the window shows before and after its first activation,
// that the first activation's work runs once, and the choice of a service.
#include <QLabel>
#include <algorithm>
#include <tuple>

#include "app/service_choice.h"
#include "form_actions.h"
#include "ui/skin_pictures.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

QStringList Entries(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        texts << combo->itemText(i);
    }
    return texts;
}

} // namespace

TEST_F(MainFormTest, CreationSetsDefaultsAndShowsSetupWithoutTouchingMidi) {
    app::TmainForm& form = rig.Create();
    EXPECT_EQ(form.windowTitle(), QStringLiteral(" Velmora"));
    EXPECT_EQ(form.size(), QSize(638, 454));

    // The Setup panel is the first one shown; Clear has no monitor yet.
    EXPECT_EQ(form.ImgButSetup->tag(), 1);
    for (auto* b : {form.ImgButData, form.ImgButSysex, form.ImgButAbout, form.ImgButRecord,
                    form.ImgButSend, form.ImgButThru}) {
        EXPECT_EQ(b->tag(), 0) << b->objectName().toStdString();
    }
    EXPECT_EQ(form.ImgButClear->tag(), 0);
    EXPECT_EQ(form.PanelSetup->pos(), QPoint(136, 8));
    for (QWidget* p : {form.PanelData, form.PanelSysex, form.PanelAbout}) {
        EXPECT_EQ(p->pos(), QPoint(1000, 8));
    }
    for (QWidget* p : {form.PanelSetup, form.PanelData, form.PanelSysex, form.PanelAbout}) {
        EXPECT_EQ(p->size(), QSize(487, 426));
    }
    // The monitors' titles.
    for (auto [panel, title, at] : {std::tuple{form.PanelData, "Data Monitor", QPoint(11, 7)},
                                    std::tuple{form.PanelSysex, "Sysex Monitor", QPoint(8, 8)}}) {
        const auto labels = panel->findChildren<QLabel*>();
        const auto found = std::find_if(labels.begin(), labels.end(),
                                        [&](QLabel* l) { return l->text() == title; });
        ASSERT_NE(found, labels.end()) << title;
        EXPECT_EQ((*found)->pos(), at) << title;
    }

    // Preference defaults, switches, LEDs.
    EXPECT_EQ(form.ImgActiveSense->tag(), 1);
    EXPECT_EQ(form.ImgAfterTouch->tag(), 0);
    EXPECT_EQ(form.ImgJumpData->tag(), 1);
    EXPECT_EQ(form.ImgJumpSysex->tag(), 1);
    EXPECT_EQ(form.ImgClearSysex->tag(), 0);
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_EQ(form.ImgOutOpen->tag(), 0);
    EXPECT_EQ(form.ImgThru->tag(), 1);
    EXPECT_TRUE(form.ImgThru->showsOnFace());
    for (auto* led : {form.ImgLedData, form.ImgLedSysex, form.ImgLedAS}) {
        EXPECT_EQ(led->tag(), 0);
        EXPECT_FALSE(led->showsOnFace());
    }
    // Power rests with the lit picture.
    EXPECT_EQ(form.ImgButPower->picture().toImage(), ui::skin::ButtonFacePicture(true).toImage());

    // The thru channel list, the gauge, the empty monitors.
    QStringList thru{QStringLiteral("As Input")};
    for (int n = 1; n <= 16; ++n) {
        thru << QStringLiteral("Channel %1").arg(n);
    }
    EXPECT_EQ(Entries(form.cmbMidiThru), thru);
    EXPECT_EQ(form.cmbMidiThru->currentIndex(), 0);
    EXPECT_EQ(form.Gauge1->minValue(), 0);
    EXPECT_EQ(form.Gauge1->maxValue(), 127);
    EXPECT_EQ(form.Gauge1->progress(), 0);
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(form.Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(form.lblExp[0]->text().isEmpty());

    // The device lists wait for the first activation.
    EXPECT_EQ(form.cmbMidiOut->count(), 0);
    EXPECT_EQ(form.cmbMidiIn->count(), 0);
    EXPECT_EQ(rig.service.OutOpens(0), 0);
    EXPECT_EQ(rig.service.InOpens(0), 0);
    EXPECT_TRUE(form.FirstActivation());
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST_F(MainFormTest, FirstActivationFillsTheListsAndOpensDeviceZero) {
    app::TmainForm& form = Start();
    EXPECT_FALSE(form.FirstActivation());
    EXPECT_FALSE(form.StartFailed());
    EXPECT_EQ(Entries(form.cmbMidiOut), (QStringList{"Synth A", "Synth B", "Synth C"}));
    EXPECT_EQ(Entries(form.cmbMidiIn), (QStringList{"Keys A", "Keys B"}));
    EXPECT_EQ(form.cmbMidiOut->currentIndex(), 0);
    EXPECT_EQ(form.cmbMidiIn->currentIndex(), 0);
    EXPECT_EQ(rig.service.OutOpenNow(0), 1);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_TRUE(form.ImgInOpen->showsOnFace());
    EXPECT_TRUE(form.midi().InputActive.load());
    EXPECT_EQ(form.midi().InputBufferCount(), std::size_t{midi::kInputBufferCount});
    EXPECT_EQ(ShownPanel(form), form.PanelSetup);
    EXPECT_TRUE(rig.reporter.Texts().empty());
}

TEST_F(MainFormTest, FirstActivationRunsOnce) {
    app::TmainForm& form = Start();
    // Leaving the window and coming back, and being shown again.
    form.FormActivate();
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(&form, &activation);
    form.hide();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::processEvents();
    EXPECT_EQ(form.cmbMidiOut->count(), 3);
    EXPECT_EQ(form.cmbMidiIn->count(), 2);
    EXPECT_EQ(rig.service.OutOpens(0), 1);
    EXPECT_EQ(rig.service.InOpens(0), 1);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
}

TEST_F(MainFormTest, DevicesHeldByOthersAtStartLeaveTheirSwitchesClosed) {
    rig.service.FailEvery(midi::SimOp::OpenOut);
    rig.service.FailEvery(midi::SimOp::OpenIn);
    app::TmainForm& form = Start();
    EXPECT_EQ(rig.reporter.Texts(),
              (std::vector<std::string>{midi::text::kOpenOut, midi::text::kOpenIn}));
    EXPECT_EQ(form.ImgOutOpen->tag(), 0);
    EXPECT_EQ(form.ImgInOpen->tag(), 0);
    EXPECT_FALSE(form.StartFailed());
    EXPECT_TRUE(form.isVisible());

    // The program runs on, and the switches open the ports once they are free.
    rig.service.ClearFailures();
    Click(form.ImgOutOpen);
    Click(form.ImgInOpen);
    EXPECT_EQ(form.ImgOutOpen->tag(), 1);
    EXPECT_EQ(form.ImgInOpen->tag(), 1);
    EXPECT_EQ(rig.service.OutOpenNow(0), 1);
    EXPECT_EQ(rig.service.InOpenNow(0), 1);
}

TEST(ServiceChoice, AFailedServiceSaysWhyAndOffersRetryDemoAndQuit) {
    struct Run {
        std::vector<std::string> asked;
        std::vector<QString> reasons;
        std::vector<std::string> logged;
    };
    // The service fails `failures` times, then works; the user answers in turn.
    auto choose = [](app::ProgramOptions options, int failures,
                     std::vector<app::ServiceFailureChoice> answers, Run& run) {
        app::ServiceChoiceHooks hooks;
        hooks.create = [&run, failures](const std::string& api,
                                        std::string* error) -> std::unique_ptr<midi::MidiService> {
            run.asked.push_back(api);
            if (api != "demo" && static_cast<int>(run.asked.size()) <= failures) {
                *error = "no JACK server is running";
                return nullptr;
            }
            return std::make_unique<midi::SimulatedService>(std::vector<std::string>{api},
                                                            std::vector<std::string>{});
        };
        hooks.ask = [&run, answers](const QString&, const QString& reason) mutable {
            run.reasons.push_back(reason);
            const auto choice = answers.front();
            answers.erase(answers.begin());
            return choice;
        };
        hooks.log = [&run](const std::string& text) { run.logged.push_back(text); };
        return app::ChooseService(options, hooks);
    };
    using C = app::ServiceFailureChoice;
    app::ProgramOptions jack;
    jack.midiApi = QStringLiteral("jack");

    Run retried;
    auto service = choose(jack, 2, {C::Retry, C::Retry}, retried);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(retried.asked, (std::vector<std::string>{"jack", "jack", "jack"}));
    ASSERT_EQ(retried.reasons.size(), 2u);
    EXPECT_TRUE(retried.reasons[0].contains(QStringLiteral("no JACK server is running")));
    EXPECT_EQ(retried.logged[0], "velmora: no JACK server is running");

    Run demo;
    ASSERT_NE(choose(jack, 5, {C::Demo}, demo), nullptr);
    EXPECT_EQ(demo.asked, (std::vector<std::string>{"jack", "demo"}));

    Run quit;
    EXPECT_EQ(choose(jack, 5, {C::Quit}, quit), nullptr);
    EXPECT_EQ(quit.asked, (std::vector<std::string>{"jack"}));

    Run asked;
    app::ProgramOptions demoAsked;
    demoAsked.demo = true;
    ASSERT_NE(choose(demoAsked, 5, {}, asked), nullptr);
    EXPECT_EQ(asked.asked, (std::vector<std::string>{"demo"}));
    EXPECT_TRUE(asked.reasons.empty());
}
