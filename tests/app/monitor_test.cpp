// The monitors as messages arrive through the simulated service: the data
// monitor's rows and history, the jumps and filters, the LEDs and their
// timer, and the sysex monitor's entries and bound.
#include <QTextBlock>

#include "form_actions.h"
#include "support/sysex_dump.h"
#include "support/timer_ticks.h"
#include "ui/from_core.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

QString Shown(const std::string& coreText) {
    return ui::FromCore(coreText);
}

class MonitorTest : public MainFormTest {
  protected:
    void SetUp() override {
        form = &Start();
        rig.SetElapsed(1000);
    }
    app::TmainForm* form = nullptr;
};

} // namespace

TEST_F(MonitorTest, NoteOnFillsEveryRowTheBarTheHistoryAndLightsTheDataLed) {
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    auto texts = [](const std::array<QLabel*, 4>& row) {
        QStringList t;
        for (QLabel* l : row) {
            t << l->text();
        }
        return t;
    };
    EXPECT_EQ(texts(form->lblDec), (QStringList{"144", "60", "100", "0"}));
    EXPECT_EQ(texts(form->lblHex), (QStringList{"H90", "H3C", "H64", "H00"}));
    EXPECT_EQ(texts(form->lblBin), (QStringList{"10010000", "00111100", "01100100", "00000000"}));
    EXPECT_EQ(texts(form->lblExp), (QStringList{"Note On", "C3 (do3)", "100", "Channel 1"}));
    EXPECT_EQ(form->Gauge1->progress(), 100);
    EXPECT_EQ(WithCrLf(form->Memo2), Shown(form->history().Text()));
    EXPECT_TRUE(form->Memo2->toPlainText().startsWith("90 3C 64    Note On"));
    // The caret stands near the end: the newest line is in view.
    EXPECT_EQ(form->Memo2->caret().line, 0);
    EXPECT_EQ(form->ImgLedData->tag(), 1000);
    EXPECT_TRUE(form->ImgLedData->showsOnFace());
    EXPECT_EQ(form->ImgLedAS->tag(), 0);

    // A system message: channel field 0; the description from the system table.
    ASSERT_TRUE(rig.Play({PackShortMessage(0xF2, 0x10, 0x02)}));
    EXPECT_EQ(texts(form->lblDec), (QStringList{"242", "16", "2", "0"}));
    EXPECT_EQ(form->lblHex[3]->text(), QStringLiteral("H00"));
    EXPECT_EQ(form->Memo2->lineCount(), 2);
}

TEST_F(MonitorTest, LedsGoOutAtTheFirstTimerTickMoreThan50MsAfterTheirStamp) {
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64), PackShortMessage(0xFE, 0, 0)}));
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x01, 0xF7}));
    for (auto* led : {form->ImgLedData, form->ImgLedSysex, form->ImgLedAS}) {
        EXPECT_EQ(led->tag(), 1000) << led->objectName().toStdString();
    }
    // At 1050 the timer keeps ticking and every LED stays lit.
    velmora::testing::TimerTicks ticks(form->Timer1);
    rig.SetElapsed(1050);
    ASSERT_TRUE(ticks.Wait());
    for (auto* led : {form->ImgLedData, form->ImgLedSysex, form->ImgLedAS}) {
        EXPECT_EQ(led->tag(), 1000) << led->objectName().toStdString();
        EXPECT_TRUE(led->showsOnFace());
    }
    // A new event moves one stamp on.
    ASSERT_TRUE(rig.Play({PackShortMessage(0x80, 0x3C, 0)}));
    EXPECT_EQ(form->ImgLedData->tag(), 1050);
    // At 1051 the next tick puts the other two out.
    rig.SetElapsed(1051);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->ImgLedSysex->tag() == 0 && form->ImgLedAS->tag() == 0; }, 5000));
    EXPECT_FALSE(form->ImgLedSysex->showsOnFace());
    EXPECT_FALSE(form->ImgLedAS->showsOnFace());
    EXPECT_EQ(form->ImgLedData->tag(), 1050);
    EXPECT_TRUE(form->ImgLedData->showsOnFace());
    rig.SetElapsed(1101);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ImgLedData->tag() == 0; }, 5000));
    EXPECT_FALSE(form->ImgLedData->showsOnFace());
}

TEST_F(MonitorTest, JumpToTheDataMonitorOnlyWhenItIsOn) {
    ASSERT_TRUE(rig.Play({PackShortMessage(0xB0, 7, 100)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);
    EXPECT_EQ(form->ImgButClear->tag(), 2);

    Click(form->ImgButSetup);
    Click(form->lblJumpData); // off
    // Past the quiet time of the panel the user chose: only the switch holds it.
    rig.SetElapsed(1000 + JumpGuard::kQuietMs);
    ASSERT_TRUE(rig.Play({PackShortMessage(0xC0, 5, 0)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Program Change"));
    EXPECT_EQ(form->ImgLedData->tag(), 1000 + JumpGuard::kQuietMs);
}

TEST_F(MonitorTest, AfterTouchFilterLightsAndJumpsButShowsNothing) {
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 0x3C, 0x64)}));
    Click(form->ImgButSetup);
    Click(form->ImgAfterTouch);
    // Once the panel the user chose has had its quiet time.
    rig.SetElapsed(1000 + JumpGuard::kQuietMs);
    ASSERT_TRUE(rig.Play({PackShortMessage(0xD3, 0x40, 0)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);
    EXPECT_EQ(form->ImgLedData->tag(), 1000 + JumpGuard::kQuietMs);
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Note On"));
    EXPECT_EQ(form->lblHex[0]->text(), QStringLiteral("H90"));
    EXPECT_EQ(form->Gauge1->progress(), 100);
    EXPECT_EQ(form->Memo2->lineCount(), 1);

    // Polyphonic pressure is not filtered; with the filter off, channel pressure shows.
    ASSERT_TRUE(rig.Play({PackShortMessage(0xA3, 0x40, 0x10)}));
    EXPECT_EQ(form->Memo2->lineCount(), 2);
    Click(form->ImgButSetup);
    Click(form->lblAfterTouch);
    ASSERT_TRUE(rig.Play({PackShortMessage(0xD3, 0x40, 0)}));
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("After Touch"));
    EXPECT_EQ(form->lblExp[3]->text(), QStringLiteral("Channel 4"));
    EXPECT_EQ(form->Memo2->lineCount(), 3);
}

TEST_F(MonitorTest, ActiveSensingLightsOnlyItsLedOrNothing) {
    ASSERT_TRUE(rig.Play({PackShortMessage(0xFE, 0, 0)}));
    EXPECT_EQ(form->ImgLedAS->tag(), 1000);
    EXPECT_TRUE(form->ImgLedAS->showsOnFace());
    EXPECT_EQ(form->ImgLedData->tag(), 0);
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    EXPECT_TRUE(form->Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(form->lblHex[0]->text().isEmpty());

    rig.SetElapsed(2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ImgLedAS->tag() == 0; }, 5000));
    Click(form->lblActiveSense); // off
    ASSERT_TRUE(rig.Play({PackShortMessage(0xFE, 0, 0)}));
    EXPECT_EQ(form->ImgLedAS->tag(), 0);
    EXPECT_FALSE(form->ImgLedAS->showsOnFace());
    EXPECT_EQ(form->ImgLedData->tag(), 0);
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    EXPECT_TRUE(form->Memo2->toPlainText().isEmpty());
}

TEST_F(MonitorTest, HistoryKeepsThe26NewestLinesAndTheRowsShowTheLastOfAStream) {
    for (int i = 0; i < 27; ++i) {
        ASSERT_TRUE(
            rig.service.InjectShort(0, PackShortMessage(0x90, static_cast<std::uint8_t>(i), 1)));
    }
    rig.Settle();
    EXPECT_EQ(form->Memo2->lineCount(), 26);
    EXPECT_EQ(form->history().Text().size(), 1742u);
    EXPECT_EQ(WithCrLf(form->Memo2), Shown(form->history().Text()));
    EXPECT_TRUE(form->Memo2->toPlainText().startsWith("90 01 01 "))
        << form->Memo2->toPlainText().left(20).toStdString();
    EXPECT_TRUE(form->Memo2->line(form->Memo2->lineCount() - 1).startsWith("90 1A 01 "));
    EXPECT_EQ(form->Memo2->caret().line, 25);
    // The rows are refreshed once for what came together: from the last message.
    EXPECT_EQ(form->lblHex[1]->text(), QStringLiteral("H1A"));
    EXPECT_EQ(form->lblExp[1]->text(), QString::fromUtf16(u"D0 (r\u00e90)"));

    // A refresh still waiting when the monitor is cleared shows nothing.
    form->midiAnalyse(PackShortMessage(0xB0, 7, 100));
    form->DataMonClear();
    QApplication::processEvents();
    EXPECT_TRUE(form->lblHex[0]->text().isEmpty());
    EXPECT_EQ(form->Gauge1->progress(), 0);
}

TEST_F(MonitorTest, SixByteBlockIsListedWithHeaderBytesAndEmptyLine) {
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSysex);
    EXPECT_EQ(form->ImgButClear->tag(), 1);
    EXPECT_EQ(form->ImgLedSysex->tag(), 1000);
    EXPECT_EQ(WithCrLf(form->Memo1),
              QStringLiteral("Block #1 (6 bytes)\r\nF0 7E 7F 06 01 F7 \r\n\r\n"));
    EXPECT_EQ(WithCrLf(form->Memo1), Shown(form->sysexLog().Text()));
    // The caret stands right after F7.
    const QTextCursor caret = form->Memo1->textCursor();
    EXPECT_EQ(caret.blockNumber(), 1);
    EXPECT_EQ(caret.positionInBlock(), 17);
    // Nothing of a block reaches the data monitor.
    EXPECT_TRUE(form->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(form->ImgLedData->tag(), 0);
}

TEST_F(MonitorTest, TenThousandByteDumpGivesThreeBlocks) {
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x01, 0xF7}));
    ASSERT_TRUE(rig.PlaySysex(SysexDump(10000)));
    QStringList headers;
    for (QTextBlock b = form->Memo1->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text().startsWith("Block")) {
            headers << b.text();
        }
    }
    EXPECT_EQ(headers, (QStringList{"Block #1 (3 bytes)", "Block #2 (4096 bytes)",
                                    "Block #3 (4096 bytes)", "Block #4 (1808 bytes)"}));
    EXPECT_EQ(WithCrLf(form->Memo1), Shown(form->sysexLog().Text()));
    const QString text = form->Memo1->toPlainText();
    EXPECT_TRUE(text.contains("F0 01 02 03 04 ")) << "the dump starts its second block";
    EXPECT_TRUE(text.endsWith(" F7 \n"));
}

TEST_F(MonitorTest, ClearSwitchKeepsOnlyTheLatestBlock) {
    Click(form->lblClearSysex);
    ASSERT_TRUE(rig.PlaySysex(SysexDump(10000)));
    EXPECT_EQ(form->Memo1->document()->blockCount(), 3);
    EXPECT_EQ(form->Memo1->document()->firstBlock().text(),
              QStringLiteral("Block #1 (1808 bytes)"));
    EXPECT_EQ(form->sysexLog().BlockCount(), 1);
    EXPECT_EQ(WithCrLf(form->Memo1), Shown(form->sysexLog().Text()));
}

TEST_F(MonitorTest, JumpToTheSysexMonitorOnlyWhenItIsOn) {
    Click(form->ImgButData);
    Click(form->ImgButSetup);
    Click(form->ImgJumpSysex); // off
    Click(form->ImgButData);
    // Past the quiet time of the panel the user chose: only the switch holds it.
    rig.SetElapsed(1000 + JumpGuard::kQuietMs);
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x01, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);
    EXPECT_EQ(form->Memo1->document()->firstBlock().text(), QStringLiteral("Block #1 (3 bytes)"));
    EXPECT_EQ(form->ImgLedSysex->tag(), 1000 + JumpGuard::kQuietMs);

    Click(form->ImgButSetup);
    Click(form->lblJumpSysex); // on
    Click(form->ImgButData);
    rig.SetElapsed(1000 + 2 * JumpGuard::kQuietMs);
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x02, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSysex);
    EXPECT_EQ(form->ImgButClear->tag(), 1);
    EXPECT_EQ(form->sysexLog().BlockCount(), 2);
}

TEST_F(MonitorTest, TheSysexJumpAloneJumpsAndADumpKeepsTheSysexMonitorInFront) {
    // Only "Jump to Sysex monitor" on: a dump right after the user's choice
    // of the Setup panel brings the sysex monitor all the same.
    Click(form->ImgButSetup);
    Click(form->lblJumpData); // off
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 60, 1)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    rig.SetElapsed(1500);
    ASSERT_TRUE(rig.PlaySysex(SysexDump(10000))); // three blocks
    EXPECT_EQ(ShownPanel(*form), form->PanelSysex);

    // Both on: the notes around a dump leave the sysex monitor in front while
    // the dump arrives and a moment after its last block.
    Click(form->ImgButSetup);
    Click(form->lblJumpData); // on
    const std::uint32_t dumpAt = 10000;
    rig.SetElapsed(dumpAt - 10);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 60, 1)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);
    for (std::uint32_t block = 0; block < 4; ++block) {
        rig.SetElapsed(dumpAt + 500 * block);
        ASSERT_TRUE(rig.PlaySysex({0xF0, 0x7D, static_cast<std::uint8_t>(block), 0xF7}));
        EXPECT_EQ(ShownPanel(*form), form->PanelSysex);
        rig.SetElapsed(dumpAt + 500 * block + 250);
        ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 61, 1), PackShortMessage(0x80, 61, 0)}));
        EXPECT_EQ(ShownPanel(*form), form->PanelSysex) << "block " << block;
    }
    const std::uint32_t lastBlockAt = dumpAt + 1500;
    rig.SetElapsed(lastBlockAt + JumpGuard::kSysexHoldMs - 1);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 62, 1)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSysex);
    rig.SetElapsed(lastBlockAt + JumpGuard::kSysexHoldMs);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x90, 62, 1)}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);
    // Nothing was lost meanwhile.
    EXPECT_EQ(form->sysexLog().BlockCount(), 7);
    EXPECT_EQ(form->Memo2->lineCount(), 12);
}

TEST_F(MonitorTest, TenMegabyteDumpKeepsTheSysexMonitorBounded) {
    // An input queue that takes the whole dump as one event.
    rig.service.SetInputQueueBytes(std::size_t{16} << 20);
    Click(form->ImgInOpen);
    Click(form->ImgInOpen);
    ASSERT_EQ(form->ImgInOpen->tag(), 1);
    ASSERT_TRUE(rig.PlaySysex(SysexDump(10 * 1024 * 1024)));
    EXPECT_EQ(form->sysexLog().BlockCount(), 2560);
    EXPECT_LT(form->sysexLog().Size(), SysexMonitorLog::kLimit);
    const QString shown = WithCrLf(form->Memo1);
    EXPECT_LT(static_cast<std::size_t>(shown.size()), SysexMonitorLog::kLimit);
    EXPECT_EQ(shown, Shown(form->sysexLog().Text()));
    EXPECT_LE(form->Memo1->document()->blockCount(), 16);
    EXPECT_EQ(form->Memo1->document()->lastBlock().previous().previous().text(),
              QStringLiteral("Block #2560 (4096 bytes)"));
    EXPECT_EQ(form->midi().LostInputEvents(), 0u);
}
