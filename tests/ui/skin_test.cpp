#include <QImage>
#include <QPainter>

#include "ui/from_core.h"
#include "ui/rg_form.h"
#include "ui/skin_palette.h"
#include "ui/skin_pictures.h"
#include "window_host.h"

using namespace velmora::ui;

namespace {

QSize LogicalSize(const QPixmap& picture) {
    return picture.deviceIndependentSize().toSize();
}

bool HasColourNear(const QImage& image, const QColor& colour, int tolerance) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance &&
                std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance && c.alpha() == 255) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

TEST(SkinStore, HoldsTheFivePicturesAndIsNeverShown) {
    TRGForm& store = RGForm();
    EXPECT_EQ(&store, &RGForm());
    EXPECT_EQ(LogicalSize(store.imgBG()), QSize(439, 157));
    EXPECT_EQ(LogicalSize(store.ImgWinStatus()), QSize(387, 33));
    EXPECT_EQ(LogicalSize(store.ImgWinStatus2()), QSize(387, 56));
    EXPECT_EQ(LogicalSize(store.ImgButOff()), QSize(35, 14));
    EXPECT_EQ(LogicalSize(store.ImgButOn()), QSize(35, 14));
    // Drawn at least at twice the density, for high-density screens.
    EXPECT_GE(store.imgBG().devicePixelRatio(), 2.0);
    EXPECT_EQ(store.ImgButOff().width(), qRound(35 * store.ImgButOff().devicePixelRatio()));
    EXPECT_NE(store.ImgButOff().toImage(), store.ImgButOn().toImage());
    store.show();
    EXPECT_FALSE(store.isVisible());
}

TEST(SkinPictures, SizesAndLook) {
    EXPECT_EQ(LogicalSize(skin::LedPicture(true)), QSize(9, 9));
    EXPECT_EQ(LogicalSize(skin::OpenSwitchPicture(false)), QSize(34, 12));
    EXPECT_EQ(LogicalSize(skin::ThruSwitchPicture(true)), QSize(34, 12));
    EXPECT_NE(skin::LedPicture(true).toImage(), skin::LedPicture(false).toImage());
    EXPECT_NE(skin::OpenSwitchPicture(true).toImage(), skin::OpenSwitchPicture(false).toImage());
    EXPECT_NE(skin::ThruSwitchPicture(true).toImage(), skin::ThruSwitchPicture(false).toImage());

    // Any window size: a dark ground with green accents.
    const QPixmap window = skin::BackgroundPicture(QSize(600, 460));
    EXPECT_EQ(LogicalSize(window), QSize(600, 460));
    const QImage image = window.toImage();
    const QColor middle = image.pixelColor(image.width() / 2, image.height() / 2);
    EXPECT_LT(middle.lightness(), 40);
    EXPECT_TRUE(HasColourNear(image, skin::Green(), 8));
    EXPECT_TRUE(HasColourNear(skin::ButtonFacePicture(true).toImage(), skin::Green(), 8));

    // The panel and status frames on any painter.
    QImage panel(200, 80, QImage::Format_ARGB32_Premultiplied);
    panel.fill(Qt::transparent);
    QPainter painter(&panel);
    skin::PaintPanelFrame(painter, panel.rect());
    painter.end();
    EXPECT_TRUE(HasColourNear(panel, skin::DarkGreen(), 8));
}

TEST(FromCore, ConvertsWindows1252Texts) {
    EXPECT_EQ(FromCore("D3 (r\xE9"
                       "3)"),
              QStringLiteral("D3 (r\u00e93)"));
    EXPECT_EQ(FromCore("\x80"), QStringLiteral("\u20ac"));
    EXPECT_EQ(ToCore(QStringLiteral("r\u00e9\u20ac")), "r\xE9\x80");
    EXPECT_EQ(FromCore(std::string("a\0b", 3)).size(), 3);
}
