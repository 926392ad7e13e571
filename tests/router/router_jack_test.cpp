// The router on real JACK ports: a peer client plays into Velmora's input
// and listens on two ports to what the router's outputs send.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "app/main_form.h"
#include "jack_peer.h"
#include "late_cycles.h"
#include "midi/rtmidi/rtmidi_service.h"
#include "router/thru_form.h"
#include "support/eventually.h"
#include "support/recording_reporter.h"
#include "support/stand_in_help.h"

using namespace velmora;
using velmora::jacktest::JackPeer;
using velmora::jacktest::RepeatedOnLateCycles;
using namespace std::chrono_literals;

namespace {

// The notes among what a synth received, without the controllers that prime
// the ports and mark what has arrived.
std::vector<JackPeer::Event> Notes(const std::vector<JackPeer::Event>& events) {
    std::vector<JackPeer::Event> notes;
    for (const auto& e : events) {
        if (!e.empty() && (e[0] & 0xE0) == 0x80) {
            notes.push_back(e);
        }
    }
    return notes;
}

// A controller no test plays otherwise: sent after what a test counts, it
// comes after it on every output's way, so once it has arrived at a synth
// nothing sent before it is still under way there. Its value tells one
// marking from the one before.
constexpr std::uint8_t kMarker = 0x51;

// Whether the marker with `value`, sent on channel 1, has arrived from every
// output in `statuses` (B0 for an output that keeps the channel, B1 for one
// that puts the messages on channel 2, ...).
bool MarkersArrived(JackPeer& synth, std::initializer_list<std::uint8_t> statuses,
                    std::uint8_t value) {
    const auto events = synth.Received();
    for (std::uint8_t status : statuses) {
        if (std::none_of(events.begin(), events.end(), [&](const JackPeer::Event& e) {
                return e == JackPeer::Event{status, kMarker, value};
            })) {
            return false;
        }
    }
    return true;
}

int argc = 1;
char arg0[] = "router_jack_test";
char* argv[] = {arg0, nullptr};

int IndexOf(QComboBox* list, const std::string& name) {
    return list->findText(QString::fromStdString(name));
}

class RouterOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc, argv);
        std::string error;
        keys_ = JackPeer::Open("keys", &error);
        synthA_ = JackPeer::Open("synthA", &error);
        synthB_ = JackPeer::Open("synthB", &error);
        service_ = midi::CreateRtMidiService("jack", &error);
        ASSERT_TRUE(keys_ && synthA_ && synthB_ && service_) << error;
        form_ = std::make_unique<app::TmainForm>(
            app::MainFormEnvironment{*service_, reporter_, help_, dir_.filePath("Velmora.ini"),
                                     dir_.filePath("Velmora.ini"), midi::SteadyTickCount, 0});
        form_->FormActivate();
        ASSERT_FALSE(form_->StartFailed());
        const int in = form_->cmbMidiIn->findText(QString::fromStdString(keys_->OutPort()));
        ASSERT_GE(in, 0);
        form_->cmbMidiIn->setCurrentIndex(in);
        emit form_->cmbMidiIn->activated(in);
        ASSERT_EQ(form_->ImgInOpen->tag(), 1);
        thru_ = std::make_unique<router::TthruForm>(form_->midi(), form_->router(), form_.get());
    }

    void TearDown() override {
        thru_.reset();
        if (form_) {
            form_->close();
        }
        form_.reset();
        app_.reset();
    }

    // Runs `inside` on a worker thread while the router window is open (the
    // window thread keeps its event loop), then closes the window.
    void WhileRouting(const std::function<void()>& setup, const std::function<void()>& inside) {
        form_->showRouterWindow = [&] {
            QTimer::singleShot(0, [&] {
                setup();
                std::thread worker([&] {
                    inside();
                    QMetaObject::invokeMethod(thru_.get(), [&] { thru_->close(); });
                });
                worker.detach();
            });
            thru_->exec();
        };
        form_->ImgButThruClick();
    }

    // Plays until the router's port shows up connected, then clears.
    void Prime(JackPeer& listener, std::size_t perNote) {
        for (int i = 0; i < 200 && listener.ReceivedCount() < perNote; ++i) {
            keys_->Send({0xB0, 0x50, 0x00});
            listener.WaitForEvents(perNote, 50ms);
        }
        ASSERT_GE(listener.ReceivedCount(), perNote);
    }

    // Sends a new marker (again, should the server drop it in a late cycle)
    // until it has arrived at each synth from each of its outputs.
    bool PlayMarkers(
        std::initializer_list<std::pair<JackPeer*, std::initializer_list<std::uint8_t>>> synths) {
        const std::uint8_t value = ++markings_ & 0x7F;
        return velmora::testing::Eventually(
            [&] {
                keys_->Send({0xB0, kMarker, value});
                keys_->WaitCycles(3);
                for (const auto& [synth, statuses] : synths) {
                    if (!MarkersArrived(*synth, statuses, value)) {
                        return false;
                    }
                }
                return true;
            },
            std::chrono::seconds(20), 10ms);
    }

    QTemporaryDir dir_;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<JackPeer> keys_, synthA_, synthB_;
    std::unique_ptr<midi::MidiService> service_;
    velmora::testing::RecordingReporter reporter_;
    velmora::testing::StandInHelp help_;
    std::unique_ptr<app::TmainForm> form_;
    std::unique_ptr<router::TthruForm> thru_;
    std::uint8_t markings_ = 0;
};

} // namespace

TEST_F(RouterOnJack, TwoOutputsOnOnePortSendEachNoteTwiceChannel1First) {
    const std::vector<JackPeer::Event> expected{{0x90, 60, 100}, {0x91, 60, 100}, {0x90, 64, 100},
                                                {0x91, 64, 100}, {0x90, 67, 100}, {0x91, 67, 100}};
    std::vector<JackPeer::Event> got;
    WhileRouting(
        [&] {
            const int a = IndexOf(thru_->cmbMidiOut[0], synthA_->InPort());
            thru_->cmbMidiOut[0]->setCurrentIndex(a);
            thru_->cmbMidiOut[1]->setCurrentIndex(a);
            thru_->ImgButOpen[1]->setOpen(true);
            thru_->cmbChannel[0]->setCurrentIndex(1);
            thru_->cmbChannel[1]->setCurrentIndex(2);
            thru_->cmbMidiOutSelect();
        },
        [&] {
            Prime(*synthA_, 2);
            RepeatedOnLateCycles(*keys_, [&](std::uint64_t) {
                PlayMarkers({{synthA_.get(), {0xB0, 0xB1}}}); // what came before is all in
                synthA_->ClearReceived();
                for (std::uint8_t note : {60, 64, 67}) {
                    keys_->Send({0x95, note, 100});
                }
                keys_->Send({0xF8});
                keys_->Send({0xFE});
                EXPECT_TRUE(PlayMarkers({{synthA_.get(), {0xB0, 0xB1}}}));
                got = Notes(synthA_->Received());
                return got == expected;
            });
        });
    EXPECT_EQ(got, expected);
}

TEST_F(RouterOnJack, ASplitSendsEachNoteToItsPortWithItsNumber) {
    const std::vector<JackPeer::Event> expectedLower{{0x90, 59, 1}};
    const std::vector<JackPeer::Event> expectedUpper{{0x90, 72, 2}, {0x80, 72, 0}};
    std::vector<JackPeer::Event> lower, upper;
    WhileRouting(
        [&] {
            thru_->cmbMidiOut[0]->setCurrentIndex(IndexOf(thru_->cmbMidiOut[0], synthA_->InPort()));
            thru_->cmbSplitHi[0]->setCurrentIndex(59);
            thru_->ImgButOpen[1]->setOpen(true);
            thru_->cmbMidiOut[1]->setCurrentIndex(IndexOf(thru_->cmbMidiOut[1], synthB_->InPort()));
            thru_->cmbSplitLo[1]->setCurrentIndex(60);
            thru_->cmbTransp[1]->setCurrentIndex(36);
            thru_->cmbMidiOutSelect();
        },
        [&] {
            Prime(*synthA_, 1);
            RepeatedOnLateCycles(*keys_, [&](std::uint64_t) {
                PlayMarkers({{synthA_.get(), {0xB0}}, {synthB_.get(), {0xB0}}});
                synthA_->ClearReceived();
                synthB_->ClearReceived();
                keys_->Send({0x90, 59, 1});
                keys_->Send({0x90, 60, 2});
                keys_->Send({0x80, 60, 0});
                EXPECT_TRUE(PlayMarkers({{synthA_.get(), {0xB0}}, {synthB_.get(), {0xB0}}}));
                lower = Notes(synthA_->Received());
                upper = Notes(synthB_->Received());
                return lower == expectedLower && upper == expectedUpper;
            });
        });
    EXPECT_EQ(lower, expectedLower);
    EXPECT_EQ(upper, expectedUpper);
}
