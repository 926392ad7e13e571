// The message details in the main window: the decoder follows every message
// (hidden and paused ones too); a larger window shows the details line, the
// history's details column and named sysex headers, while the default window
// shows exactly its usual texts.
#include <QHelpEvent>
#include <QTextBlock>
#include <QToolTip>

#include "form_actions.h"
#include "ui/from_core.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

ShortMessage Cc(std::uint8_t number, std::uint8_t value) {
    return PackShortMessage(0xB0, number, value);
}

} // namespace

TEST_F(MainFormTest, DetailsShowWhereALargerWindowHasRoomAndTheDefaultWindowKeepsItsTexts) {
    app::TmainForm& form = Start();
    app::DetailsView& details = form.details();
    rig.SetElapsed(1000);
    // Pitch bend sensitivity 12 semitones: the controllers hidden by the
    // filter, the data entry while paused. The decoder still sees them.
    MessageFilter noControllers = kShowEverything;
    noControllers.kinds &= ~std::uint32_t{kKindCc};
    form.SetHistoryFilter(noControllers);
    ASSERT_TRUE(rig.Play({Cc(101, 0), Cc(100, 0)}));
    form.SetHistoryFilter(kShowEverything);
    form.SetPaused(true);
    ASSERT_TRUE(rig.Play({Cc(6, 12)}));
    form.SetPaused(false);
    // Then an RPN sequence of fine tuning, a pitch bend and an identity reply.
    ASSERT_TRUE(rig.Play(
        {Cc(101, 0), Cc(100, 1), Cc(6, 0x50), Cc(38, 0), PackShortMessage(0xE0, 0x7F, 0x7F)}));
    const std::vector<std::uint8_t> identityReply{0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x10, 0x02,
                                                  0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0xF7};
    ASSERT_TRUE(rig.PlaySysex(identityReply));

    // The default window: the plain history and sysex texts, no line.
    EXPECT_EQ(form.size(), app::TmainForm::kDefaultSize);
    EXPECT_EQ(WithCrLf(form.Memo2), ui::FromCore(form.history().Text()));
    EXPECT_EQ(BoxLines(form.Memo1).first(), QStringLiteral("Block #1 (15 bytes)"));
    EXPECT_EQ(WithCrLf(form.Memo1), ui::FromCore(form.sysexLog().Text()));
    EXPECT_FALSE(details.lblDetails->isVisible());
    EXPECT_EQ(form.Memo2->size(), QSize(473, 297));
    // The details answer as tooltips there: the rows' and the block's.
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), form.lblExp[0]->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(form.lblExp[0], &tip);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("pitch bend +8191 (+12.00 semitones)"));
    const std::string name = details.BlockName(1);
    EXPECT_NE(name.find("Roland"), std::string::npos) << name;
    EXPECT_NE(name.find("identity reply"), std::string::npos) << name;

    // A larger window: the line under the history, the column, the names.
    const std::string plainHistory = form.history().Text();
    const std::string plainSysex = form.sysexLog().Text();
    form.ImgButDataClick();
    form.resize(900, 700);
    QApplication::processEvents();
    ASSERT_TRUE(details.lblDetails->isVisible());
    EXPECT_EQ(details.lblDetails->text(), QStringLiteral("pitch bend +8191 (+12.00 semitones)"));
    EXPECT_EQ(details.lblDetails->y(), form.Memo2->geometry().bottom() + 1);
    EXPECT_EQ(form.Memo2->height(), 297 + 246 - app::DetailsView::kLineHeight);
    const QStringList history = BoxLines(form.Memo2);
    ASSERT_EQ(history.size(), 8);
    EXPECT_TRUE(history[2].endsWith("  RPN 0/0 pitch bend sensitivity = 12 semitones 0 cents"));
    EXPECT_TRUE(history[6].endsWith("  RPN 0/1 fine tuning = +25.00 cents"));
    EXPECT_EQ(history[7].indexOf("  pitch bend +8191 (+12.00 semitones)"), 65);
    EXPECT_EQ(BoxLines(form.Memo1).first(),
              QStringLiteral("Block #1 (15 bytes)  ") + ui::FromCore(name));
    EXPECT_EQ(form.history().Text(), plainHistory);
    EXPECT_EQ(form.sysexLog().Text(), plainSysex);

    // The clock's rate at the line's right: 50 clocks a second is 125 BPM.
    // The input path counts the clocks; the window looks now and then and
    // spreads what came between two looks.
    for (std::uint32_t i = 0; i < 10; ++i) {
        rig.SetElapsed(2000 + 20 * i);
        ASSERT_TRUE(rig.Play({kTimingClock}));
        if (i == 0) {
            details.RefreshRates();
        }
    }
    details.RefreshRates();
    EXPECT_EQ(details.lblRates->text(), QStringLiteral("clock 125.0 BPM"));
    EXPECT_TRUE(details.lblRates->isVisible());

    // Off, the larger window shows the usual texts; the choice is remembered.
    details.SetOn(false);
    QApplication::processEvents();
    EXPECT_FALSE(details.lblDetails->isVisible());
    EXPECT_EQ(form.Memo2->height(), 297 + 246);
    EXPECT_EQ(BoxLines(form.Memo1).first(), QStringLiteral("Block #1 (15 bytes)"));
    EXPECT_EQ(BoxLines(form.Memo2)[7].size(), 65);
    form.close();
    EXPECT_TRUE(rig.ReadSettings().value_or(QByteArray()).endsWith("MonitorDetails=0\r\n"));
    rig.form.reset();
    EXPECT_FALSE(rig.Start().details().On());
}
