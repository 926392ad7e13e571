// The Multi Out router window offscreen on the simulated service: port
// assignment and sharing, routing through the real input path, Reset, failed
// opens, and the main output around the window.
#include "router/thru_form.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "app/main_form_fixture.h"

using namespace velmora;
using namespace velmora::midi;
using velmora::testing::MainFormRig;

namespace {

constexpr int kSynthA = 0, kSynthB = 1, kSynthC = 2;

class RouterRig : public MainFormRig {
  public:
    explicit RouterRig(std::vector<std::string> outs = {"Synth A", "Synth B", "Synth C"})
        : MainFormRig(std::move(outs)) {
        app::TmainForm& f = Start();
        thru = std::make_unique<router::TthruForm>(f.midi(), f.router(), &f);
    }

    // Opens the window as the program does (Multi Out button), runs `inside`
    // while it shows, then closes it with Escape.
    void WithRouterOpen(const std::function<void()>& inside) {
        form->showRouterWindow = [this, inside] {
            QTimer::singleShot(0, [this, inside] {
                inside();
                QTest::keyClick(thru.get(), Qt::Key_Escape);
            });
            thru->exec();
        };
        QTest::mouseClick(form->ImgButThru, Qt::LeftButton);
    }

    std::vector<ShortMessage> Sent(int device) {
        std::vector<ShortMessage> out;
        for (const auto& s : service.Sent(device)) {
            out.push_back(s.message);
        }
        return out;
    }

    void Select(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    std::unique_ptr<router::TthruForm> thru;
};

} // namespace

TEST(Router, DefaultsSendEverythingUnchangedToTheFirstDevice) {
    RouterRig r;
    // The rows at y 28, 52, 76 and 100; labels and switches 4 px lower.
    for (std::size_t i = 0; i < 4; ++i) {
        const int y = 28 + 24 * static_cast<int>(i);
        for (QComboBox* list : {r.thru->cmbMidiOut[i], r.thru->cmbChannel[i], r.thru->cmbTransp[i],
                                r.thru->cmbSplitLo[i], r.thru->cmbSplitHi[i]}) {
            EXPECT_EQ(list->y(), y) << "row " << i + 1;
        }
        EXPECT_EQ(r.thru->lblOut[i]->y(), y + 4);
        EXPECT_EQ(r.thru->ImgButOpen[i]->pos(), QPoint(66, y + 4));
    }
    EXPECT_EQ(r.thru->windowTitle(), " Multi Out");
    EXPECT_EQ(r.thru->cmbChannel[0]->count(), 17);
    EXPECT_EQ(r.thru->cmbTransp[0]->count(), 49);
    EXPECT_EQ(r.thru->cmbTransp[0]->itemText(0), "-24");
    EXPECT_EQ(r.thru->cmbTransp[0]->currentText(), "0");
    EXPECT_EQ(r.thru->cmbSplitLo[0]->itemText(60), "C3");
    EXPECT_EQ(r.thru->cmbSplitHi[3]->currentText(), "G8");
    EXPECT_EQ(r.thru->cmbMidiOut[2]->count(), 3);
    r.service.ClearSent(kSynthA);
    const int opensBefore = r.service.OutOpens(kSynthA);
    r.WithRouterOpen([&] {
        EXPECT_EQ(r.form->midi().InputMode.load(), kMultiOut);
        EXPECT_TRUE(r.form->ImgButThru->isLit());
        EXPECT_EQ(r.form->ImgOutOpen->tag(), 0); // the main output made way
        EXPECT_EQ(r.thru->PortNumber(1), 1);
        EXPECT_EQ(r.thru->PortNumber(2), 0);
        r.ticks += 1000;
        r.Play({PackShortMessage(0x93, 60, 100), 0xF8, 0xFE, PackShortMessage(0xB3, 7, 90)});
        EXPECT_EQ(r.form->path().dataLedStamp.load(), 1000); // the data LED, stamped
    });
    EXPECT_EQ(r.Sent(kSynthA), (std::vector<ShortMessage>{PackShortMessage(0x93, 60, 100),
                                                          PackShortMessage(0xB3, 7, 90)}));
    EXPECT_EQ(r.service.OutOpens(kSynthA), opensBefore + 2); // router port, then main output again
    EXPECT_EQ(r.thru->PortNumber(1), 0);
    EXPECT_EQ(r.form->midi().InputMode.load(), kMonitor);
    EXPECT_FALSE(r.form->ImgButThru->isLit());
    EXPECT_EQ(r.form->ImgOutOpen->tag(), 1);
    EXPECT_EQ(r.form->ImgButSetup->tag(), 1); // the Setup panel shows
    EXPECT_TRUE(r.reporter.Texts().empty());
}

TEST(Router, OutputsOnOneDeviceShareItsPort) {
    RouterRig r;
    r.WithRouterOpen([&] {
        // Outputs 1 and 2 on one device, channels 1 and 2: opened once, each
        // note arrives twice, output 1's first.
        QTest::mouseClick(r.thru->ImgButOpen[1], Qt::LeftButton);
        r.thru->cmbChannel[0]->setCurrentIndex(1);
        r.thru->cmbChannel[1]->setCurrentIndex(2);
        EXPECT_EQ(r.thru->PortNumber(2), 1);
        EXPECT_EQ(r.service.OutOpenNow(kSynthA), 1);
        r.service.ClearSent(kSynthA);
        r.Play({PackShortMessage(0x95, 64, 1)});
        EXPECT_EQ(r.Sent(kSynthA), (std::vector<ShortMessage>{PackShortMessage(0x90, 64, 1),
                                                              PackShortMessage(0x91, 64, 1)}));

        // Output 1 off, outputs 2 and 3 on one device: 2 owns port 2, 3 shares it.
        QTest::mouseClick(r.thru->ImgButOpen[0], Qt::LeftButton);
        QTest::mouseClick(r.thru->ImgButOpen[2], Qt::LeftButton);
        r.Select(r.thru->cmbMidiOut[1], kSynthB);
        r.Select(r.thru->cmbMidiOut[2], kSynthB);
        EXPECT_EQ(r.thru->PortNumber(1), 0);
        EXPECT_EQ(r.thru->PortNumber(2), 2);
        EXPECT_EQ(r.thru->PortNumber(3), 2);
        EXPECT_EQ(r.service.OutOpenNow(kSynthA), 0);
        EXPECT_EQ(r.service.OutOpenNow(kSynthB), 1);
    });
    EXPECT_EQ(r.service.OutOpenNow(kSynthB), 0);
}

TEST(Router, SplitRangesTranspositionAndReset) {
    RouterRig r;
    r.WithRouterOpen([&] {
        // Output 1: notes up to B2; output 2: C3 and up, an octave higher, on device C.
        r.thru->cmbSplitHi[0]->setCurrentIndex(59);
        QTest::mouseClick(r.thru->ImgButOpen[1], Qt::LeftButton);
        r.Select(r.thru->cmbMidiOut[1], kSynthC);
        r.thru->cmbSplitLo[1]->setCurrentIndex(60);
        r.thru->cmbTransp[1]->setCurrentIndex(36);
        // Output 3: low above high passes no notes, but controllers, on channel 5.
        QTest::mouseClick(r.thru->lblOut[2], Qt::LeftButton); // the labels react to nothing
        QTest::mouseClick(r.thru->ImgButOpen[2], Qt::LeftButton);
        r.Select(r.thru->cmbMidiOut[2], kSynthB);
        r.thru->cmbSplitLo[2]->setCurrentIndex(100);
        r.thru->cmbSplitHi[2]->setCurrentIndex(10);
        r.thru->cmbChannel[2]->setCurrentIndex(5);
        for (int d : {kSynthA, kSynthB, kSynthC}) {
            r.service.ClearSent(d);
        }
        r.Play({PackShortMessage(0x90, 59, 9), PackShortMessage(0x90, 60, 9),
                PackShortMessage(0x80, 60, 0), PackShortMessage(0xB0, 64, 127),
                PackShortMessage(0x90, 120, 9)}); // 120 + 12 has no note number
        EXPECT_EQ(r.Sent(kSynthA), (std::vector<ShortMessage>{PackShortMessage(0x90, 59, 9),
                                                              PackShortMessage(0xB0, 64, 127)}));
        EXPECT_EQ(r.Sent(kSynthC), (std::vector<ShortMessage>{PackShortMessage(0x90, 72, 9),
                                                              PackShortMessage(0x80, 72, 0),
                                                              PackShortMessage(0xB0, 64, 127)}));
        EXPECT_EQ(r.Sent(kSynthB), std::vector<ShortMessage>{PackShortMessage(0xB4, 64, 127)});

        // Reset: back to output 1 alone, unchanged.
        QTest::mousePress(r.thru->lblButReset, Qt::LeftButton);
        EXPECT_TRUE(r.thru->ImgButReset->showsPressed());
        QTest::mouseRelease(r.thru->lblButReset, Qt::LeftButton);
        EXPECT_FALSE(r.thru->ImgButReset->showsPressed());
        EXPECT_EQ(r.thru->PortNumber(1), 1);
        EXPECT_EQ(r.thru->PortNumber(2), 0);
        EXPECT_EQ(r.thru->cmbSplitHi[0]->currentIndex(), 127);
        EXPECT_EQ(r.service.OutOpenNow(kSynthC), 0);
        EXPECT_EQ(r.service.OutOpenNow(kSynthA), 1);
    });
}

// Routing stopped for a feedback loop is said in the open window, and the
// word goes when a new assignment routes again.
TEST(Router, ALoopThatBreaksIsSaidWhileTheWindowIsOpen) {
    RouterRig r;
    r.WithRouterOpen([&] {
        EXPECT_FALSE(r.thru->lblLoop->isVisible());
        r.form->router().loopBroken.store(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return r.thru->lblLoop->isVisible(); }, 5000));
        EXPECT_TRUE(r.thru->lblLoop->text().startsWith("Routing stopped"));
        r.Select(r.thru->cmbMidiOut[0], kSynthB);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !r.thru->lblLoop->isVisible(); }, 5000));
    });
}

TEST(Router, SettingsStayBetweenShowingsAndStarts) {
    RouterRig r({"Synth A", "Synth B", "Synth C", "Gone Synth"});
    r.WithRouterOpen([&] { r.thru->cmbTransp[0]->setCurrentIndex(30); });
    r.WithRouterOpen([&] {
        EXPECT_EQ(r.thru->cmbTransp[0]->currentIndex(), 30);
        r.service.ClearSent(kSynthA);
        r.Play({PackShortMessage(0x90, 60, 1)});
        EXPECT_EQ(r.Sent(kSynthA), std::vector<ShortMessage>{PackShortMessage(0x90, 66, 1)});
        r.Select(r.thru->cmbMidiOut[1], kSynthC);
        QTest::mouseClick(r.thru->ImgButOpen[1], Qt::LeftButton);
    });
    // Kept for the next start: a window made afresh takes the rows back; a
    // device no longer listed leaves its row off, on the first device, but
    // the row keeps that device while the window is used around it.
    RouterRows rows = r.thru->Rows();
    EXPECT_EQ(rows[0], (RouterRow{true, "Synth A", 0, 30, 0, 127}));
    EXPECT_EQ(rows[1], (RouterRow{true, "Synth C", 0, 24, 0, 127}));
    rows[2] = {true, "Gone Synth", 5, 24, 0, 127};
    rows[3] = {false, "Gone Synth", 0, 24, 0, 127};
    auto restart = [&r] {
        r.thru =
            std::make_unique<router::TthruForm>(r.form->midi(), r.form->router(), r.form.get());
    };
    r.service.SetPresent(true, 3, false);
    restart();
    r.thru->SetRows(rows);
    r.WithRouterOpen([&] {
        EXPECT_EQ(r.thru->cmbMidiOut[2]->currentText(), "Synth A");
        EXPECT_FALSE(r.thru->ImgButOpen[2]->isOpen());
        EXPECT_EQ(r.thru->PortNumber(3), 0);
        r.thru->cmbTransp[2]->setCurrentIndex(26);
        r.Select(r.thru->cmbMidiOut[3], kSynthB); // a device picked: the old one is let go
        r.service.ClearSent(kSynthC);
        r.Play({PackShortMessage(0x90, 60, 1)});
        EXPECT_EQ(r.Sent(kSynthC), std::vector<ShortMessage>{PackShortMessage(0x90, 60, 1)});
    });
    rows[2].transposeIndex = 26;
    rows[3].device = "Synth B";
    EXPECT_EQ(r.thru->Rows(), rows);

    // Listed again at a later start, the device takes its row back, on.
    r.service.SetPresent(true, 3, true);
    restart();
    r.thru->SetRows(rows);
    EXPECT_EQ(r.thru->Rows(), rows);
    EXPECT_EQ(r.thru->cmbMidiOut[2]->currentText(), "Gone Synth");
    EXPECT_TRUE(r.thru->ImgButOpen[2]->isOpen());

    // Switched on, or reset, a row takes the device it shows.
    r.service.SetPresent(true, 3, false);
    restart();
    r.thru->SetRows(rows);
    r.WithRouterOpen([&] { QTest::mouseClick(r.thru->ImgButOpen[2], Qt::LeftButton); });
    EXPECT_EQ(r.thru->Rows()[2], (RouterRow{true, "Synth A", 5, 26, 0, 127}));
    restart();
    r.thru->SetRows(rows);
    r.thru->Reset();
    EXPECT_EQ(r.thru->Rows()[2], (RouterRow{false, "Synth A", 0, 24, 0, 127}));
}

TEST(Router, AFailedOpenSendsNothingAndClosesNothing) {
    RouterRig r;
    r.service.FailEvery(SimOp::OpenOut, kSynthA);
    r.WithRouterOpen([&] {
        QTest::mouseClick(r.thru->ImgButOpen[1], Qt::LeftButton); // output 2 shares port 1
        EXPECT_EQ(r.thru->PortNumber(1), 1);                      // kept, though not open
        EXPECT_EQ(r.thru->PortNumber(2), 1);
        r.Play({PackShortMessage(0x90, 60, 1)});
    });
    EXPECT_TRUE(r.service.Sent(kSynthA).empty() ||
                r.service.Sent(kSynthA).back().message != PackShortMessage(0x90, 60, 1));
    const auto texts = r.reporter.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Error when trying to open Midi out device!\nThis device is probably "
                             "open by another application and can't be shared.");
    for (const auto& t : texts) {
        EXPECT_NE(t, "Error when trying to close Midi out device!");
    }
    // The main output can't be opened again either: it shows closed, and
    // the button and the mode are back all the same.
    EXPECT_EQ(r.form->ImgOutOpen->tag(), 0);
    EXPECT_FALSE(r.form->ImgButThru->isLit());
    EXPECT_EQ(r.form->midi().InputMode.load(), kMonitor);
}

TEST(Router, TheMainOutputIsOpenAfterwardsEvenWhenItWasClosedBefore) {
    RouterRig r;
    QTest::mouseClick(r.form->ImgOutOpen, Qt::LeftButton); // close it
    ASSERT_EQ(r.form->ImgOutOpen->tag(), 0);
    QTest::mouseClick(r.form->ImgButData, Qt::LeftButton);
    r.WithRouterOpen([&] { EXPECT_EQ(r.form->ImgButSetup->tag(), 1); });
    EXPECT_EQ(r.form->ImgOutOpen->tag(), 1);
}
