#include "help/help_path.h"

#include <gtest/gtest.h>

namespace velmora::help {
namespace {

TEST(ViewerPath, EscapedBlanksBecomeBlanksAndTheEndsAreTrimmed) {
    EXPECT_EQ(ViewerPath(QStringLiteral("  /opt/My%20Help/VelmoraFr.qch%20"), QString(), 0),
              QStringLiteral("/opt/My Help/VelmoraFr.qch"));
    // Only blanks are trimmed; the escape is undone before trimming.
    EXPECT_EQ(ViewerPath(QStringLiteral("%20%20a.qch"), QString(), 0), QStringLiteral("a.qch"));
    EXPECT_EQ(ViewerPath(QStringLiteral("\ta.qch"), QString(), 0), QStringLiteral("\ta.qch"));
}

TEST(ViewerPath, AWindowDefinitionGoesInFrontWithAnArrow) {
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/VelmoraFr.qch"), QStringLiteral(" Main%20Window "), 0),
              QStringLiteral("Main Window>/h/VelmoraFr.qch"));
    // A definition that is only blanks counts as none.
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/a.qch"), QStringLiteral("%20 "), 0),
              QStringLiteral("/h/a.qch"));
}

TEST(ViewerPath, OnlyTheHHViewerGetsTheStorePrefix) {
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/a.chm"), QString(), 2),
              QStringLiteral("mk:@MSITStore:/h/a.chm"));
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/a.chm"), QStringLiteral("win"), 2),
              QStringLiteral("mk:@MSITStore:win>/h/a.chm"));
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/a.chm"), QString(), 1), QStringLiteral("/h/a.chm"));
    EXPECT_EQ(ViewerPath(QStringLiteral("/h/a.chm"), QString(), 0), QStringLiteral("/h/a.chm"));
}

TEST(SplitViewerPath, TakesTheWindowDefinitionOffAgain) {
    const ViewerPathParts parts = SplitViewerPath(QStringLiteral("Main>/h/VelmoraFr.qch"));
    EXPECT_EQ(parts.windowDefinition, QStringLiteral("Main"));
    EXPECT_EQ(parts.file, QStringLiteral("/h/VelmoraFr.qch"));

    EXPECT_EQ(SplitViewerPath(QStringLiteral("/h/VelmoraFr.qch")).file,
              QStringLiteral("/h/VelmoraFr.qch"));
    // A '>' inside a folder name is part of the file.
    const ViewerPathParts odd = SplitViewerPath(QStringLiteral("/odd>name/VelmoraFr.qch"));
    EXPECT_TRUE(odd.windowDefinition.isEmpty());
    EXPECT_EQ(odd.file, QStringLiteral("/odd>name/VelmoraFr.qch"));
}

} // namespace
} // namespace velmora::help
