#include <QLabel>

#include "ui/link_label.h"
#include "ui/skin_palette.h"
#include "window_host.h"

using namespace velmora::ui;
using namespace velmora::ui::testing;

namespace {

class LinkLabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        caption = new QLabel(QStringLiteral("Address any questions or suggestions to :"), &host);
        caption->move(10, 10);
        caption->adjustSize();
        link = new TLinkLabel(kSupportAddress, &host);
        link->move(10, 40);
        link->addHoverCaption(caption);
        link->setOpener([this](const QUrl& url) { opened.push_back(url.toString()); });
        host.showReady();
        QTest::mouseMove(&host, empty);
    }

    QColor textColour() const { return link->palette().color(QPalette::WindowText); }

    WindowHost host;
    QLabel* caption = nullptr;
    TLinkLabel* link = nullptr;
    std::vector<QString> opened;
    const QPoint empty{280, 100};
};

} // namespace

TEST_F(LinkLabelTest, HoverOverLinkOrCaptionHighlights) {
    EXPECT_EQ(textColour(), skin::Green());
    EXPECT_FALSE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    for (QWidget* over : {static_cast<QWidget*>(link), static_cast<QWidget*>(caption)}) {
        QTest::mouseMove(over, over->rect().center());
        EXPECT_TRUE(link->isHighlighted());
        EXPECT_EQ(textColour(), QColor(0, 96, 255));
        EXPECT_TRUE(link->font().underline());
        QTest::mouseMove(&host, empty);
        EXPECT_FALSE(link->isHighlighted());
        EXPECT_EQ(textColour(), skin::Green());
        EXPECT_FALSE(link->font().underline());
    }

    link->setNormalColour(skin::CaptionGrey());
    EXPECT_EQ(textColour(), skin::CaptionGrey());
}

TEST_F(LinkLabelTest, ClickOnTheLinkOpensMail) {
    Click(caption);
    Click(link, Qt::RightButton);
    EXPECT_TRUE(opened.empty());
    Click(link);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QStringLiteral("mailto: support@velmora.app"));

    // A press on the link that ends elsewhere opens nothing.
    Press(link);
    QTest::mouseMove(&host, empty);
    Release(&host, Qt::LeftButton, empty);
    EXPECT_EQ(opened.size(), 1u);
}
