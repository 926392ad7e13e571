#include "help/help_commands.h"

#include <gtest/gtest.h>

namespace velmora::help {
namespace {

TEST(HelpCommandName, NamesEveryKnownCommandWithItsNumber) {
    const std::pair<unsigned, const char*> names[] = {
        {1, "HELP_CONTEXT (1)"},
        {2, "HELP_QUIT (2)"},
        {3, "HELP_INDEX or HELP_CONTENTS (3)"},
        {4, "HELP_HELPONHELP (4)"},
        {5, "HELP_SETINDEX or HELP_SETCONTENTS (5)"},
        {8, "HELP_CONTEXTPOPUP (8)"},
        {9, "HELP_FORCEFILE (9)"},
        {10, "HELP_CONTEXTMENU (10)"},
        {11, "HELP_FINDER (11)"},
        {12, "HELP_WM_HELP (12)"},
        {13, "HELP_SETPOPUP_POS (13)"},
        {257, "HELP_KEY (257)"},
        {258, "HELP_COMMAND (258)"},
        {261, "HELP_PARTIALKEY (261)"},
        {513, "HELP_MULTIKEY (513)"},
        {515, "HELP_SETWINPOS (515)"},
    };
    for (const auto& [command, name] : names) {
        EXPECT_EQ(HelpCommandName(command), QString::fromLatin1(name));
    }
}

TEST(HelpCommandName, UnknownCommandsAreQuestionMarks) {
    EXPECT_EQ(HelpCommandName(99), QStringLiteral("?? (99)"));
    EXPECT_EQ(HelpCommandName(0), QStringLiteral("?? (0)"));
    EXPECT_EQ(HelpCommandName(6), QStringLiteral("?? (6)"));
    EXPECT_EQ(HelpCommandName(514), QStringLiteral("?? (514)"));
}

TEST(UnpackPopupPosition, XInTheLowWordYInTheHighWord) {
    EXPECT_EQ(UnpackPopupPosition((200 << 16) | 100), QPoint(100, 200));
    EXPECT_EQ(UnpackPopupPosition(0), QPoint(0, 0));
    // Each half is a signed 16-bit number: a pop-up left of or above the screen.
    EXPECT_EQ(UnpackPopupPosition(0xFFFF0005), QPoint(5, -1));
    EXPECT_EQ(UnpackPopupPosition(0x8000FFFE), QPoint(-2, -32768));
    // Bits above the packed point are not part of it.
    EXPECT_EQ(UnpackPopupPosition(static_cast<std::intptr_t>(0x7'0003'0002LL)), QPoint(2, 3));
}

TEST(HelpHandlerSlot, InstallingReturnsTheEarlierHandler) {
    int firstCalls = 0;
    const HelpHandler first = [&](unsigned, std::intptr_t, bool& callDefault) {
        ++firstCalls;
        callDefault = false;
        return true;
    };
    const HelpHandler before = InstallHelpHandler(first);
    EXPECT_FALSE(RaiseHelpRequest(1, 1001));
    EXPECT_EQ(firstCalls, 1);

    HelpHandler saved = InstallHelpHandler([](unsigned, std::intptr_t, bool& callDefault) {
        callDefault = true;
        return true;
    });
    EXPECT_TRUE(RaiseHelpRequest(1, 1001));
    EXPECT_EQ(firstCalls, 1);

    InstallHelpHandler(std::move(saved));
    EXPECT_FALSE(RaiseHelpRequest(1, 1001));
    EXPECT_EQ(firstCalls, 2);
    InstallHelpHandler(before);
}

TEST(HelpHandlerSlot, WithoutAHandlerTheDefaultHelpRuns) {
    const HelpHandler before = InstallHelpHandler({});
    EXPECT_TRUE(RaiseHelpRequest(1, 1001));
    InstallHelpHandler(before);
}

} // namespace
} // namespace velmora::help
