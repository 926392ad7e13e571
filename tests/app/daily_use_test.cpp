// What a user who keeps the window open all day relies on: panels that stay
// where the user put them, switches that say their state, pause, filters,
// the time column, search, saving, and a larger window that is remembered.
#include <QClipboard>
#include <QScrollBar>
#include <QTextBlock>

#include "form_actions.h"
#include "ui/from_core.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

const ShortMessage kNoteOn = PackShortMessage(0x90, 0x3C, 0x64);

class DailyUseTest : public MainFormTest {
  protected:
    void SetUp() override {
        form = &Start();
        rig.SetElapsed(1000);
    }

    QByteArray FileBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    app::TmainForm* form = nullptr;
};

} // namespace

TEST_F(DailyUseTest, JumpsWaitForAnOpenListAndForThePanelTheUserChose) {
    // Notes right after the user's choice leave the panel be; a new dump is
    // what the user asked to see and comes to the front.
    Click(form->ImgButSetup); // at 1000
    ASSERT_TRUE(rig.Play({kNoteOn}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    const std::uint32_t dumpAt = 1000 + JumpGuard::kQuietMs - 1;
    rig.SetElapsed(dumpAt);
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x01, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSysex);
    // Chosen again while the dump goes on, the panel stays.
    Click(form->ImgButSetup);
    rig.SetElapsed(dumpAt + 500);
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x02, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    // The monitors were filled all the same.
    EXPECT_EQ(form->Memo2->lineCount(), 1);
    EXPECT_EQ(form->sysexLog().BlockCount(), 2);

    // Quiet time over, but a drop-down list is open.
    rig.SetElapsed(dumpAt + JumpGuard::kQuietMs);
    form->cmbMidiThru->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmbMidiThru->view()->isVisible(); }, 5000));
    ASSERT_TRUE(rig.Play({kNoteOn}));
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x03, 0xF7}));
    EXPECT_EQ(ShownPanel(*form), form->PanelSetup);
    form->cmbMidiThru->hidePopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->cmbMidiThru->view()->isVisible(); }, 5000));
    ASSERT_TRUE(rig.Play({kNoteOn}));
    EXPECT_EQ(ShownPanel(*form), form->PanelData);

    // The switches say their state in words.
    EXPECT_TRUE(form->ImgThru->toolTip().startsWith("Thru on"));
    Click(form->ImgButSetup);
    Click(form->ImgThru);
    EXPECT_TRUE(form->ImgThru->toolTip().startsWith("Thru off"));
    EXPECT_EQ(form->ImgInOpen->toolTip(), QStringLiteral("Input open"));
}

TEST_F(DailyUseTest, PauseFreezesTheMonitorsWhileThruGoesOnAndResumeCatchesUp) {
    ASSERT_TRUE(rig.Play({kNoteOn}));
    const std::uint64_t sentBefore = rig.service.SentCount(0);
    QTest::keyClick(form, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(form->Paused());
    rig.SetElapsed(1200);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x80, 0x3C, 0), PackShortMessage(0xB0, 7, 90)}));
    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(BoxLines(form->Memo2).size(), 1);
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Note On"));
    EXPECT_TRUE(form->Memo1->document()->isEmpty());
    EXPECT_EQ(ShownPanel(*form), form->PanelData); // no jump to the sysex monitor
    // Input, thru and the LEDs go on; the arrivals are counted.
    EXPECT_EQ(form->ImgLedData->tag(), 1200);
    EXPECT_EQ(form->ImgLedSysex->tag(), 1200);
    EXPECT_EQ(rig.service.SentCount(0), sentBefore + 2); // thru passes the short messages
    EXPECT_TRUE(form->lblHistoryStatus->isVisible());
    EXPECT_EQ(form->lblHistoryStatus->text(), QStringLiteral("Paused: 3 new"));

    QTest::keyClick(form, Qt::Key_P, Qt::ControlModifier);
    ASSERT_FALSE(form->Paused());
    QApplication::processEvents();
    EXPECT_EQ(BoxLines(form->Memo2).size(), 3);
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Control Change"));
    EXPECT_EQ(BoxLines(form->Memo1).first(), QStringLiteral("Block #1 (6 bytes)"));
    EXPECT_EQ(form->lblHistoryStatus->text(), QStringLiteral("3 arrived in pause"));
    EXPECT_EQ(form->lblSysexStatus->text(), QStringLiteral("3 arrived in pause"));
    // The count goes once it has been seen a while.
    rig.SetElapsed(1200 + app::TmainForm::kResumeNoticeMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->lblHistoryStatus->isVisible(); }, 5000));
}

TEST_F(DailyUseTest, FiltersAndTheTimeColumnChangeOnlyWhatTheHistoryShowsAndAreRemembered) {
    rig.SetElapsed(1000);
    const ShortMessage songSelect = PackShortMessage(0xF3, 2, 0);
    ASSERT_TRUE(rig.Play({kNoteOn, songSelect}));
    rig.SetElapsed(1250);
    ASSERT_TRUE(rig.Play({PackShortMessage(0x99, 0x24, 0x40), PackShortMessage(0x91, 0x40, 1)}));
    const std::string historyText = form->history().Text();
    MessageFilter filter = kShowEverything;
    filter.kinds &= ~std::uint32_t{kKindCommon};
    filter.channels &= static_cast<std::uint16_t>(~(1u << 9));
    form->SetHistoryFilter(filter);
    form->SetTimeColumn(TimeColumn::SinceStart);
    form->SetSendPauseMs(150);
    QApplication::processEvents();
    QStringList lines = BoxLines(form->Memo2);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("      1000 ms  90 3C 64")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("      1250 ms  91 40 01")));
    EXPECT_EQ(form->lblHistoryStatus->text(), QStringLiteral("2 hidden"));

    // New input: a hidden message lights the LED and passes thru, but is not shown.
    rig.SetElapsed(1300);
    const std::uint64_t sentBefore = rig.service.SentCount(0);
    ASSERT_TRUE(rig.Play({songSelect}));
    EXPECT_EQ(form->ImgLedData->tag(), 1300);
    EXPECT_EQ(rig.service.SentCount(0), sentBefore + 1);
    EXPECT_EQ(BoxLines(form->Memo2).size(), 2);
    EXPECT_EQ(form->lblExp[0]->text(), QStringLiteral("Note On"));
    EXPECT_EQ(form->lblHistoryStatus->text(), QStringLiteral("3 hidden"));
    // The history text the analysis produces is all there.
    EXPECT_EQ(form->history().Text().size(), historyText.size() + 67);
    EXPECT_EQ(form->scrollback().Entries().size(), 5u);

    // Remembered under keys of their own, and read back.
    form->close();
    const QByteArray stored = rig.ReadSettings().value_or(QByteArray());
    EXPECT_TRUE(stored.contains("HistoryHiddenKinds=common\r\nHistoryHiddenChannels=10\r\n"));
    EXPECT_TRUE(stored.contains("HistoryTimeColumn=1\r\n"));
    EXPECT_TRUE(stored.contains("SysexSendPauseMs=150\r\n"));
    EXPECT_FALSE(stored.contains("Window"));
    rig.form.reset();
    app::TmainForm& again = rig.Start();
    EXPECT_EQ(again.HistoryFilter().kinds, filter.kinds);
    EXPECT_EQ(again.HistoryFilter().channels, filter.channels);
    EXPECT_EQ(again.HistoryTimeColumn(), TimeColumn::SinceStart);
    EXPECT_EQ(again.SendPauseMs(), 150);
}

TEST_F(DailyUseTest, FindAndSaveTheHistoryAndTheSysexMonitor) {
    ASSERT_TRUE(rig.Play({kNoteOn, PackShortMessage(0xB0, 7, 90), PackShortMessage(0x80, 0x3C, 0),
                          PackShortMessage(0x90, 0x40, 0x64)}));
    QTest::keyClick(form, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(form->edtFind->isVisible());
    QTest::keyClicks(form->edtFind, "note on");
    EXPECT_EQ(form->Memo2->caret().line, 0);
    EXPECT_EQ(form->Memo2->marks().size(), 2);
    QTest::keyClick(form->edtFind, Qt::Key_Return);
    EXPECT_EQ(form->Memo2->caret().line, 3);
    QTest::keyClick(form->edtFind, Qt::Key_Return); // wraps round
    EXPECT_EQ(form->Memo2->caret().line, 0);
    QTest::keyClick(form->edtFind, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(form->Memo2->caret().line, 3);
    EXPECT_EQ(form->Memo2->selectionStart(), (ui::TLineBox::Place{3, 0}));
    EXPECT_EQ(form->Memo2->selectionEnd(),
              (ui::TLineBox::Place{3, int(BoxLines(form->Memo2)[3].size())}));
    EXPECT_FALSE(form->FindInHistory(QStringLiteral("pitch"), true));
    QTest::keyClick(form->edtFind, Qt::Key_Escape);
    EXPECT_FALSE(form->edtFind->isVisible());

    ASSERT_TRUE(rig.PlaySysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    QStringList chosen{rig.dir.filePath("history.txt"), rig.dir.filePath("history.csv"),
                       rig.dir.filePath("dump.syx"), rig.dir.filePath("dump.txt")};
    form->chooseSaveFile = [&](const QString&, const QString&) { return chosen.takeFirst(); };
    QTest::keyClick(form, Qt::Key_S, Qt::ControlModifier);
    form->actSaveHistory->trigger();
    QTest::keyClick(form, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    form->actSaveSysex->trigger();
    EXPECT_TRUE(chosen.isEmpty());

    const QByteArray text = FileBytes(rig.dir.filePath("history.txt"));
    EXPECT_EQ(text.count("\r\n"), 4);
    EXPECT_TRUE(text.startsWith("90 3C 64    Note On"));
    const QList<QByteArray> csv = FileBytes(rig.dir.filePath("history.csv")).split('\n');
    ASSERT_EQ(csv.size(), 6);
    EXPECT_EQ(csv[0], "Time (ms),Bytes,Kind,Channel,Message,Details\r");
    EXPECT_TRUE(csv[2].startsWith("1000,B0 07 5A,Controllers,1,B0 07 5A"));
    EXPECT_EQ(FileBytes(rig.dir.filePath("dump.syx")), QByteArray("\xF0\x7E\x7F\x06\x01\xF7", 6));
    EXPECT_EQ(FileBytes(rig.dir.filePath("dump.txt")),
              QByteArray("Block #1 (6 bytes)\r\nF0 7E 7F 06 01 F7 \r\n\r\n"));
    EXPECT_TRUE(rig.reporter.Texts().empty());

    // A file that cannot be written is said, not taken for saved.
    EXPECT_FALSE(form->SaveHistory(rig.dir.filePath("no/such/folder.txt"), false));
    ASSERT_EQ(rig.reporter.Texts().size(), 1u);
    EXPECT_NE(rig.reporter.Texts()[0].find("could not save"), std::string::npos);

    // The context menu reaches it all.
    QMenu* menu = form->MonitorMenu(form->Memo2);
    QStringList texts;
    for (QAction* a : menu->actions()) {
        texts << QString(a->text()).remove('&');
    }
    delete menu;
    for (const char* t : {"Pause the monitors", "Copy", "Find in the history...", "Show",
                          "Time column", "Save the history...", "Save the sysex monitor..."}) {
        EXPECT_TRUE(texts.contains(QString::fromLatin1(t))) << t;
    }
}

TEST_F(DailyUseTest, ALargerWindowGivesTheRoomToTheMonitorsAndIsRemembered) {
    const QPoint listAt = form->cmbMidiIn->pos();
    form->resize(900, 700);
    QApplication::processEvents();
    EXPECT_EQ(form->PanelData->size(), QSize(487 + 262, 426 + 246));
    // The history gives one line of its room to the details line.
    EXPECT_EQ(form->Memo2->size(), QSize(473 + 262, 297 + 246 - app::DetailsView::kLineHeight));
    EXPECT_EQ(form->Memo1->size(), QSize(473 + 262, 393 + 246));
    EXPECT_EQ(form->lblLostData->x(), 230 + 262);
    EXPECT_EQ(form->Memo2->pos(), QPoint(8, 120));
    EXPECT_EQ(form->cmbMidiIn->pos(), listAt);
    EXPECT_EQ(form->ImgButPower->pos(), QPoint(16, 408));
    form->close();
    EXPECT_TRUE(rig.ReadSettings()
                    .value_or(QByteArray())
                    .endsWith("WindowWidth=900\r\nWindowHeight=700\r\n"));
    rig.form.reset();
    EXPECT_EQ(rig.Start().size(), QSize(900, 700));
    // No smaller than the default size.
    rig.form->resize(300, 200);
    EXPECT_EQ(rig.form->size(), app::TmainForm::kDefaultSize);

    // A closed list shortens a long name in the middle and shows it whole in its tooltip.
    const std::string longName = "Very long device " + std::string(80, 'o') + "name";
    MainFormRig other({longName, "Synth"}, {"Keys"});
    app::TmainForm& second = other.Start();
    EXPECT_EQ(second.cmbMidiOut->toolTip(), QString::fromStdString(longName));
    EXPECT_TRUE(second.cmbMidiIn->toolTip().isEmpty());
}

TEST_F(DailyUseTest, AHistoryScrolledBackHoldsWithItsSelectionAndCopiesWholeRows) {
    for (std::uint8_t n = 0; n < 40; ++n) {
        ASSERT_TRUE(rig.Play({PackShortMessage(0x90, n, 0x40)}));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return BoxLines(form->Memo2).size() == 26; }, 5000));
    // A selection from the middle of one row into the next survives arriving
    // lines, and Copy takes both rows whole.
    form->Memo2->setCaret({20, 4});
    form->Memo2->setCaret({21, 2}, true);
    const QString rows = BoxLines(form->Memo2)[20] + '\n' + BoxLines(form->Memo2)[21] + '\n';
    ASSERT_TRUE(rig.Play({kNoteOn}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return BoxLines(form->Memo2).back().startsWith("90 3C"); }, 5000));
    EXPECT_TRUE(form->Memo2->hasSelection());
    QTest::keyClick(form->Memo2, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), rows);

    // PageUp holds the box, which then keeps the whole scrollback and the
    // selection; arriving lines are counted below and leave the view where
    // it is.
    QTest::keyClick(form->Memo2, Qt::Key_PageUp);
    EXPECT_FALSE(form->view().Following());
    EXPECT_EQ(BoxLines(form->Memo2).size(), 41);
    QApplication::clipboard()->clear();
    QTest::keyClick(form->Memo2, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), rows);
    QScrollBar* bar = form->Memo2->verticalScrollBar();
    const int place = bar->value();
    EXPECT_LT(place, bar->maximum());
    ASSERT_TRUE(rig.Play({kNoteOn, kNoteOn, kNoteOn}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return BoxLines(form->Memo2).size() == 44; }, 5000));
    EXPECT_EQ(bar->value(), place);
    EXPECT_TRUE(form->lblHoldMark->isVisible());
    EXPECT_EQ(form->lblHoldMark->text(), QStringLiteral("3 new below, End to follow"));
    // End follows the newest lines again.
    QTest::keyClick(form->Memo2, Qt::Key_End);
    EXPECT_TRUE(form->view().Following());
    EXPECT_FALSE(form->lblHoldMark->isVisible());
    EXPECT_EQ(BoxLines(form->Memo2).size(), 26);

    // Find says when nothing holds the text.
    QTest::keyClick(form, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(form->edtFind, "pitch");
    EXPECT_TRUE(form->lblHistoryStatus->text().startsWith("Not found"));
    EXPECT_TRUE(form->view().Following());

    // CSV chosen, a name without an extension: a .csv file, with the details.
    form->chooseSaveFile = [&](const QString&, const QString&) {
        form->chosenSaveType = QStringLiteral("CSV (*.csv)");
        return rig.dir.filePath("take");
    };
    form->actSaveHistory->trigger();
    EXPECT_TRUE(FileBytes(rig.dir.filePath("take.csv"))
                    .startsWith("Time (ms),Bytes,Kind,Channel,Message,Details\r\n"));
}
