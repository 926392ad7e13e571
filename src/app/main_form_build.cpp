// The main window's controls: names, places, sizes, texts and colours.
#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>

#include "app/main_form.h"
#include "ui/skin_palette.h"
#include "ui/skin_pictures.h"
#include "ui/skin_widgets.h"
#include "ui/value_label.h"

namespace velmora::app {
namespace {

using ui::TCaptionLabel;

constexpr int kPanelWidth = 487;
constexpr int kPanelHeight = 426;

// A panel of the right-hand side, drawn with the skin's frame.
// A panel's frame, drawn once per size: under a stream the values on it are
// repainted ten times a second, each over its piece of the frame, and a copy
// of that piece costs far less than filling a rounded gradient again.
class SkinPanel : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent* event) override {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (QSizeF(size()) * ratio).toSize();
        if (frame_.size() != pixels || frame_.devicePixelRatio() != ratio) {
            frame_ = QPixmap(pixels);
            frame_.setDevicePixelRatio(ratio);
            frame_.fill(Qt::transparent);
            QPainter framePainter(&frame_);
            ui::skin::PaintPanelFrame(framePainter, rect());
        }
        QPainter p(this);
        // Rect by rect: the region's bounding rect can be most of the panel
        // when two small controls far apart change.
        for (const QRect& area : event->region()) {
            p.drawPixmap(area, frame_,
                         QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio));
        }
    }

  private:
    QPixmap frame_;
};

QString Css(const QColor& c) {
    return c.name();
}

QLabel* Text(QWidget* parent, const QString& text, int x, int y, const QColor& colour,
             bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setFont(ui::skin::CaptionFont(bold));
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(Css(colour)));
    l->move(x, y);
    l->adjustSize();
    return l;
}

// A value changes many times a second under a stream: it paints its one
// line itself, in the palette's colour, and its Latin text skips the
// shaping pass.
QLabel* Value(QWidget* parent, int x, int y) {
    auto* l = new ui::TValueLabel(parent);
    QFont font = ui::skin::CaptionFont(false);
    font.setStyleStrategy(QFont::PreferNoShaping);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, ui::skin::Green());
    l->setPalette(palette);
    l->setGeometry(x, y, 95, 15);
    return l;
}

QFont MonitorFont() {
    QFont font(QStringLiteral("Lucida Console"), 8);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(8);
    }
    // The monitors' texts are Latin text in a fixed-pitch font: drawn glyph
    // by glyph, without the shaping and kerning pass (the most costly step of
    // painting lines that change several times a second).
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setKerning(false);
    return font;
}

// A monitor box in the skin: black, its text and scroll bars in the skin's
// greens, not the platform's.
template <class Box> Box* MonitorBox(QWidget* parent, int x, int y, int w, int h) {
    auto* m = new Box(parent);
    m->setFont(MonitorFont());
    m->setStyleSheet(
        QStringLiteral("QAbstractScrollArea { background: black; color: %1; "
                       "border: 1px solid %2; }"
                       "QScrollBar { background: %3; margin: 0; }"
                       "QScrollBar:vertical { width: 10px; }"
                       "QScrollBar:horizontal { height: 10px; }"
                       "QScrollBar::handle { background: %4; }"
                       "QScrollBar::handle:vertical { min-height: 20px; }"
                       "QScrollBar::handle:horizontal { min-width: 20px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(ui::skin::MonitorText().name(), ui::skin::DarkGreen().name(),
                 ui::skin::ScrollGround().name(), ui::skin::ScrollHandle().name()));
    m->setGeometry(x, y, w, h);
    return m;
}

QPlainTextEdit* Memo(QWidget* parent, int x, int y, int w, int h) {
    auto* m = MonitorBox<QPlainTextEdit>(parent, x, y, w, h);
    m->setReadOnly(true);
    m->setUndoRedoEnabled(false);
    return m;
}

// The count of input the service could not deliver, over a band of the
// panel; shown only once something was lost.
QLabel* LostCount(QWidget* parent, int x, int y, int w) {
    auto* l = new QLabel(parent);
    l->setFont(ui::skin::CaptionFont(true));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setStyleSheet(ui::skin::LabelStyle(ui::skin::WarningRed()));
    l->setGeometry(x, y, w, 15);
    l->hide();
    return l;
}

template <typename Control> Control* Place(Control* control, int x, int y) {
    control->move(x, y);
    return control;
}

TCaptionLabel* Caption(QWidget* parent, const QString& text, ui::TImageControl* control, int x,
                       int y, TCaptionLabel::Style style = TCaptionLabel::Style::Button) {
    auto* l = new TCaptionLabel(text, style, parent);
    l->setControl(control);
    l->move(x, y);
    l->adjustSize();
    return l;
}

} // namespace

void TmainForm::paintEvent(QPaintEvent* event) {
    // The LEDs and the monitors repaint parts of the window many times a
    // second, and the background's many translucent lines cost far more than
    // a copy: draw it once for the window's size and scale, then copy it.
    const qreal scale = devicePixelRatioF();
    auto ground = property("groundPicture").value<QPixmap>();
    if (ground.isNull() || ground.devicePixelRatio() != scale ||
        ground.deviceIndependentSize().toSize() != size()) {
        ground = QPixmap(size() * scale);
        ground.setDevicePixelRatio(scale);
        QPainter painter(&ground);
        ui::skin::PaintWindowBackground(painter, rect());
        painter.end();
        setProperty("groundPicture", ground);
    }
    QPainter p(this);
    // Rect by rect, as the panels do.
    for (const QRectF area : event->region()) {
        p.drawPixmap(area, ground, QRectF(area.topLeft() * scale, area.size() * scale));
    }
}

void TmainForm::BuildWindow() {
    setFont(ui::skin::CaptionFont(false));
    // Outer size 642 x 471 with the platform's frame: the client area below.
    // Larger sizes give the extra room to the monitors.
    setMinimumSize(kDefaultSize);
    resize(kDefaultSize);
    BuildLeftColumn();
    PanelSetup = BuildPanel(QStringLiteral("PanelSetup"));
    PanelData = BuildPanel(QStringLiteral("PanelData"));
    PanelSysex = BuildPanel(QStringLiteral("PanelSysex"));
    PanelAbout = BuildPanel(QStringLiteral("PanelAbout"));
    BuildSetupPanel();
    BuildDataPanel();
    BuildSysexPanel();
    BuildAboutPanel();
    // Under the panels, in the strip the window leaves free below them.
    lineWarning = new ui::TWarningLine(this);
    lineWarning->setGeometry(136, 436, kPanelWidth, 16);
    connect(lineWarning, &ui::TWarningLine::dismissed, this, &TmainForm::DismissWarning);
    BuildMonitorControls();
}

void TmainForm::BuildLeftColumn() {
    auto held = [this](const QString& name, int y, const QString& caption, TCaptionLabel** label,
                       bool captionActs = true) {
        auto* b = Place(new ui::THeldButton(this), 16, y);
        b->setObjectName(name);
        b->setLightOnClick(false);
        *label = Caption(this, caption, b, 54, y);
        (*label)->setForwarding(captionActs);
        return b;
    };
    auto push = [this](const QString& name, int y, const QString& caption, TCaptionLabel** label,
                       bool captionActs) {
        auto* b = Place(new ui::TPushButton(this), 16, y);
        b->setObjectName(name);
        *label = Caption(this, caption, b, 54, y);
        (*label)->setForwarding(captionActs);
        return b;
    };
    ImgButSetup = held("ImgButSetup", 16, "Setup", &lblButSetup);
    ImgButData = held("ImgButData", 40, "Data Monitor", &lblButData);
    ImgButSysex = held("ImgButSysex", 64, "Sysex Monitor", &lblButSysex);
    ImgButClear = push("ImgButClear", 88, "Clear", &lblButClear, true);
    ImgButRecord = held("ImgButRecord", 128, "Record Sysex", &lblButRecord);
    ImgButSend = held("ImgButSend", 152, "Send Sysex", &lblButSend);
    ImgButThru = held("ImgButThru", 192, "Multi Out", &lblButThru);
    ImgButHelp = push("ImgButHelp", 360, "Help", &lblButHelp, false);
    ImgButAbout = held("ImgButAbout", 384, "About...", &Label1, false);
    ImgButPower = push("ImgButPower", 408, "Power", &lblButPower, false);
    // The captions of Help, About... and Power react to nothing, but the
    // pointer still takes the hand shape over them.
    for (auto* l : {lblButHelp, Label1, lblButPower}) {
        l->setCursor(Qt::PointingHandCursor);
    }
    // Power rests pressed and shows released while held and while closing.
    ImgButPower->setFaces(ui::skin::ButtonFacePicture(true), ui::skin::ButtonFacePicture(false));
    ImgButPower->setReleaseFace(ui::TPushButton::ReleaseFace::LeftPressed);

    auto led = [this](const QString& name, int y, const QString& caption, QLabel** label) {
        auto* l = Place(new ui::TLed(this), 17, y);
        l->setObjectName(name);
        *label = Text(this, caption, 33, y - 2, ui::skin::Green());
        return l;
    };
    ImgLedData = led("ImgLedData", 264, "Midi Data", &lblLedData);
    ImgLedSysex = led("ImgLedSysex", 288, "Sysex Message", &lblLedSysex);
    ImgLedAS = led("ImgLedAS", 312, "Active Sense", &lblLedAS);
}

QWidget* TmainForm::BuildPanel(const QString& name) {
    auto* panel = new SkinPanel(this);
    panel->setObjectName(name);
    panel->setGeometry(1000, 8, kPanelWidth, kPanelHeight);
    panel->hide();
    return panel;
}

void TmainForm::BuildSetupPanel() {
    QWidget* p = PanelSetup;
    Text(p, "Setup", 16, 16, ui::skin::Green(), true)->setObjectName("Label2");
    ui::SkinBand(p, "Midi I/O", 16, 48, 457);
    ui::SkinBand(p, "Midi In Device", 16, 71, 177);
    ui::SkinBand(p, "", 200, 71, 89);
    ui::SkinBand(p, "Midi Out Device", 296, 71, 177);
    ImgInOpen = Place(new ui::TOpenSwitch(ui::TOpenSwitch::Kind::Port, p), 16, 72);
    ImgThru = Place(new ui::TOpenSwitch(ui::TOpenSwitch::Kind::Thru, p), 227, 72);
    ImgOutOpen = Place(new ui::TOpenSwitch(ui::TOpenSwitch::Kind::Port, p), 439, 72);
    for (auto* s : {ImgInOpen, ImgThru, ImgOutOpen}) {
        s->setCursor(Qt::ArrowCursor); // the switches keep the arrow
    }
    cmbMidiIn = ui::SkinList(p, 16, 84, 177);
    cmbMidiThru = ui::SkinList(p, 200, 84, 89);
    cmbMidiOut = ui::SkinList(p, 296, 84, 177);
    ui::SkinBand(p, "Preferences", 16, 136, 457);
    // What the device lists need the user to know: a missing or lost device,
    // a thru that was switched off. Shown only when there is something to say.
    lblDeviceStatus = new QLabel(p);
    lblDeviceStatus->setObjectName(QStringLiteral("lblDeviceStatus"));
    lblDeviceStatus->setFont(ui::skin::CaptionFont(false));
    lblDeviceStatus->setStyleSheet(ui::skin::LabelStyle(ui::skin::NoticeAmber()));
    lblDeviceStatus->setWordWrap(true);
    lblDeviceStatus->setGeometry(16, 106, 457, 28);
    lblDeviceStatus->hide();

    auto pref = [p](int y, const QString& caption, TCaptionLabel** label) {
        auto* box = Place(new ui::TLedCheckBox(p), 64, y);
        *label = Caption(p, caption, box, 80, y - 2, TCaptionLabel::Style::Led);
        return box;
    };
    ImgActiveSense = pref(192, "Active Sensing LED active", &lblActiveSense);
    ImgAfterTouch = pref(224, "After Touch monitor filter", &lblAfterTouch);
    ImgJumpData = pref(256, "Jump to Data monitor when receiving Midi Data", &lblJumpData);
    ImgJumpSysex = pref(288, "Jump to Sysex monitor when receiving New Dump", &lblJumpSysex);
    ImgClearSysex = pref(320, "Clear Sysex monitor window when receiving New Dump", &lblClearSysex);

    lblEmail1 = Text(p, "Address any questions or suggestions to :", 190, 390, ui::skin::Green());
    lblEmail1->setCursor(Qt::PointingHandCursor);
    lblEmail2 = new ui::TLinkLabel(ui::kSupportAddress, p);
    lblEmail2->move(389, 390);
    lblEmail2->setNormalColour(ui::skin::Green());
    lblEmail2->addHoverCaption(lblEmail1);
    lblEmail2->adjustSize();
    // With this platform's font the caption may be wider than the space
    // before the address: keep both on one line, inside the panel.
    const int right = kPanelWidth - 14;
    int x2 = std::max(389, 190 + lblEmail1->width() + 4);
    const int shift = std::max(0, x2 + lblEmail2->width() - right);
    lblEmail1->move(190 - shift, 390);
    lblEmail2->move(x2 - shift, 390);
}

void TmainForm::BuildDataPanel() {
    QWidget* p = PanelData;
    // The title shares its row with the column bands: keep it within its 80 pixels.
    QLabel* title = Text(p, "Data Monitor", 11, 7, ui::skin::Green(), true);
    QFont small = title->font();
    while (QFontMetrics(small).horizontalAdvance(title->text()) > 80 && small.pointSizeF() > 5) {
        small.setPointSizeF(small.pointSizeF() - 0.5);
    }
    title->setFont(small);
    title->adjustSize();
    const std::array<int, 4> xs{91, 188, 285, 382};
    const std::array<const char*, 4> columns{"Status", "Data1", "Data2", "Channel"};
    for (int i = 0; i < 4; ++i) {
        ui::SkinBand(p, columns[static_cast<std::size_t>(i)], xs[static_cast<std::size_t>(i)], 8,
                     95);
    }
    const std::array<const char*, 5> rows{"Binary", "Hexadecimal", "Decimal", "Explicit",
                                          "Event Value"};
    for (int r = 0; r < 5; ++r) {
        ui::SkinBand(p, rows[static_cast<std::size_t>(r)], 8, 24 + 16 * r, 81);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        lblBin[i] = Value(p, xs[i], 23);
        lblHex[i] = Value(p, xs[i], 39);
        lblDec[i] = Value(p, xs[i], 55);
        lblExp[i] = Value(p, xs[i], 71);
        lblBin[i]->setObjectName(QStringLiteral("lblBin%1").arg(i + 1));
        lblHex[i]->setObjectName(QStringLiteral("lblHex%1").arg(i + 1));
        lblDec[i]->setObjectName(QStringLiteral("lblDec%1").arg(i + 1));
        lblExp[i]->setObjectName(QStringLiteral("lblExp%1").arg(i + 1));
    }
    Gauge1 = new ui::TGauge(p);
    Gauge1->setGeometry(91, 88, 388, 13);
    lblHistoryBand = ui::SkinBand(p, "Events History", 8, 104, 471);
    Memo2 = MonitorBox<ui::TLineBox>(p, 8, 120, 473, 297);
    lblLostData = LostCount(p, 230, 104, 245);
    lblLostData->setObjectName(QStringLiteral("lblLostData"));
}

void TmainForm::BuildSysexPanel() {
    QWidget* p = PanelSysex;
    Text(p, "Sysex Monitor", 8, 8, ui::skin::Green(), true);
    Memo1 = Memo(p, 8, 24, 473, 393);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    lblLostSysex = LostCount(p, 230, 6, 251);
    lblLostSysex->setObjectName(QStringLiteral("lblLostSysex"));
}

void TmainForm::BuildAboutPanel() {
    QWidget* p = PanelAbout;
    Text(p, "About Velmora...", 16, 16, ui::skin::Green(), true)->setObjectName("lblAboutTitle");
    MemoAbout = Memo(p, 16, 40, 455, 377);
    // Long lines wrap at a word rather than run out of sight.
    MemoAbout->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const char* lines[] = {
        "Main features:",
        "",
        "    - Midi channel message real time monitoring (Note On/Off, AfterTouch, Pitch Bend, "
        "Control",
        "      Change, Program Change) in binary, hexadecimal, decimal and explicit format.",
        "    - Midi common message and midi sync message real time monitoring.",
        "    - System Exclusive message monitoring.",
        "    - System Exclusive Dump (receiving and transmitting).",
        "    - Midi thru function (routing data from Midi input device to Midi output device).",
        "",
        "Purpose:",
        "",
        "    - For beginner in Midi system, Velmora is a very good tool to learn about Midi.",
        "    - For most experienced user, Velmora will help to solve problem in a Midi "
        "configuration.",
        "    - Recording and sending Midi Sysex.",
        "",
        "Connections:",
        "",
        "    Connect Keyboard or any MIDI Device to your Midi In interface.",
        "    Caution: Some drivers can be shared between several Midi applications.",
    };
    QStringList text;
    for (const char* line : lines) {
        text << QString::fromLatin1(line);
    }
    MemoAbout->setPlainText(text.join('\n'));
}

} // namespace velmora::app
