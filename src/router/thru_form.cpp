#include "router/thru_form.h"

#include <QTimer>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "core/text_tools.h"
#include "ui/escape_key.h"
#include "ui/skin_palette.h"
#include "ui/skin_pictures.h"
#include "ui/skin_widgets.h"

namespace velmora::router {

TthruForm::TthruForm(midi::MidiFunctions& midi, midi::RouterSettings& settings, QWidget* parent)
    : QDialog(parent), midi_(midi), settings_(settings) {
    Build();
    FormCreate();
}

void TthruForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    ui::skin::PaintWindowBackground(p, rect());
}

void TthruForm::Build() {
    setWindowTitle(QStringLiteral(" Multi Out"));
    setProperty("helpContext", 1007); // what F1 opens
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(ui::skin::CaptionFont(false));
    lblThru = {
        ui::SkinBand(this, "Device", 104, 15, 161), ui::SkinBand(this, "Channel", 272, 15, 81),
        ui::SkinBand(this, "Transpose", 360, 15, 65), ui::SkinBand(this, "Range", 432, 15, 105)};
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        const int y = 28 + 24 * (k - 1); // the row's lists; its label and switch sit 4 px lower
        auto* label = new QLabel(QStringLiteral("Midi Out %1").arg(k), this);
        label->setFont(ui::skin::CaptionFont(false));
        label->setStyleSheet(ui::skin::LabelStyle(ui::skin::CaptionGrey()));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setGeometry(0, y + 4, 61, 13);
        lblOut[i] = label;
        ImgButOpen[i] = new ui::TOpenSwitch(ui::TOpenSwitch::Kind::Port, this);
        ImgButOpen[i]->move(66, y + 4);
        connect(ImgButOpen[i], &ui::TOpenSwitch::clicked, this, [this, k] { ImgButOpenClick(k); });
        cmbMidiOut[i] = ui::SkinList(this, 104, y, 161);
        cmbChannel[i] = ui::SkinList(this, 272, y, 81);
        cmbTransp[i] = ui::SkinList(this, 360, y, 65);
        cmbSplitLo[i] = ui::SkinList(this, 432, y, 49);
        cmbSplitHi[i] = ui::SkinList(this, 488, y, 49);
    }
    ImgButReset = new ui::TPushButton(this);
    ImgButReset->move(376, 140);
    lblButReset =
        new ui::TCaptionLabel(QStringLiteral("Reset"), ui::TCaptionLabel::Style::Button, this);
    lblButReset->setControl(ImgButReset);
    lblButReset->move(413, 140);
    ImgButReset->setAction([this] {
        std::lock_guard lock(settings_.routing);
        CloseAllLocked();
        Reset();
        AssignLocked();
    });
    ImgButExit = new ui::TPushButton(this);
    ImgButExit->move(464, 140);
    ImgButExit->setReleaseFace(ui::TPushButton::ReleaseFace::BeforeAction);
    lblButExit =
        new ui::TCaptionLabel(QStringLiteral("Exit"), ui::TCaptionLabel::Style::Button, this);
    lblButExit->setControl(ImgButExit);
    lblButExit->move(501, 140);
    ImgButExit->setAction([this] { close(); });

    // Said only when routing stopped for a feedback loop.
    lblLoop = new QLabel(this);
    lblLoop->setObjectName(QStringLiteral("lblLoop"));
    lblLoop->setGeometry(8, 142, 360, 26);
    lblLoop->setWordWrap(true);
    lblLoop->setFont(ui::skin::CaptionFont(false));
    lblLoop->setStyleSheet(ui::skin::LabelStyle(ui::skin::NoticeAmber()));
    lblLoop->hide();
    // Looked at only while the form shows: the label is not seen otherwise.
    loopWatch_ = new QTimer(this);
    loopWatch_->setInterval(100);
    connect(loopWatch_, &QTimer::timeout, this, [this] { ShowLoopState(); });
}

void TthruForm::ShowLoopState() {
    const bool broken = settings_.loopBroken.load();
    if (broken != lblLoop->isVisible()) {
        lblLoop->setText(broken ? QStringLiteral("Routing stopped: what it sent came back at "
                                                 "the input (a feedback loop). Change an "
                                                 "output to route again.")
                                : QString());
        lblLoop->setVisible(broken);
    }
}

void TthruForm::FormCreate() {
    // Outer size 560 x 198 with the platform's frame: the client area below.
    resize(560, 170);
    std::vector<std::string> devices;
    midi_.ListMidiOutDevices(devices); // the answer is not used
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        for (const auto& name : devices) {
            cmbMidiOut[i]->addItem(QString::fromStdString(name));
        }
        cmbChannel[i]->addItem(QStringLiteral("As Input"));
        for (int n = 1; n <= 16; ++n) {
            cmbChannel[i]->addItem(QStringLiteral("Channel %1").arg(n));
        }
        for (int t = -24; t <= 24; ++t) {
            cmbTransp[i]->addItem(QString::number(t));
        }
        for (int note = 0; note < 128; ++note) {
            const QString name = QString::fromStdString(NoteNameShort(note));
            cmbSplitLo[i]->addItem(name);
            cmbSplitHi[i]->addItem(name);
        }
        // The routing reads these afresh for every message.
        auto& out = Output(k);
        connect(cmbChannel[i], &QComboBox::currentIndexChanged, this,
                [&out](int index) { out.channelIndex.store(index); });
        connect(cmbTransp[i], &QComboBox::currentIndexChanged, this,
                [&out](int index) { out.transposeIndex.store(index); });
        connect(cmbSplitLo[i], &QComboBox::currentIndexChanged, this,
                [&out](int index) { out.splitLowIndex.store(index); });
        connect(cmbSplitHi[i], &QComboBox::currentIndexChanged, this,
                [&out](int index) { out.splitHighIndex.store(index); });
        connect(cmbMidiOut[i], &QComboBox::activated, this, [this, i] {
            unlisted_[i].reset(); // the user picked the row's device
            cmbMidiOutSelect();
        });
    }
    Reset();
}

void TthruForm::Reset() {
    unlisted_ = {};
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        ImgButOpen[i]->setOpen(k == 1);
        cmbMidiOut[i]->setCurrentIndex(cmbMidiOut[i]->count() > 0 ? 0 : -1);
        Output(k).portNumber.store(0);
        cmbChannel[i]->setCurrentIndex(0);
        cmbTransp[i]->setCurrentIndex(24);
        cmbSplitLo[i]->setCurrentIndex(0);
        cmbSplitHi[i]->setCurrentIndex(127);
        // The lists' handlers store these too; set them for lists that did not change.
        Output(k).channelIndex.store(0);
        Output(k).transposeIndex.store(24);
        Output(k).splitLowIndex.store(0);
        Output(k).splitHighIndex.store(127);
    }
}

RouterRows TthruForm::Rows() const {
    RouterRows rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].on = ImgButOpen[i]->isOpen();
        rows[i].device = cmbMidiOut[i]->currentText().toStdString();
        rows[i].channelIndex = cmbChannel[i]->currentIndex();
        rows[i].transposeIndex = cmbTransp[i]->currentIndex();
        rows[i].lowIndex = cmbSplitLo[i]->currentIndex();
        rows[i].highIndex = cmbSplitHi[i]->currentIndex();
        if (unlisted_[i]) {
            rows[i].on = unlisted_[i]->on;
            rows[i].device = unlisted_[i]->device;
        }
    }
    return rows;
}

void TthruForm::SetRows(const RouterRows& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RouterRow& row = rows[i];
        const int listed = row.device.empty()
                               ? 0
                               : cmbMidiOut[i]->findText(QString::fromStdString(row.device),
                                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
        const bool there = listed >= 0 && listed < cmbMidiOut[i]->count();
        cmbMidiOut[i]->setCurrentIndex(there ? listed : (cmbMidiOut[i]->count() > 0 ? 0 : -1));
        ImgButOpen[i]->setOpen(row.on && there);
        unlisted_[i] = there ? std::nullopt : std::optional(row);
        // The lists' handlers pass these on to the routing.
        cmbChannel[i]->setCurrentIndex(row.channelIndex);
        cmbTransp[i]->setCurrentIndex(row.transposeIndex);
        cmbSplitLo[i]->setCurrentIndex(row.lowIndex);
        cmbSplitHi[i]->setCurrentIndex(row.highIndex);
    }
}

int TthruForm::PortNumber(int k) const {
    return settings_.outputs[static_cast<std::size_t>(k - 1)].portNumber.load();
}

void TthruForm::cmbMidiOutSelect() {
    std::lock_guard lock(settings_.routing);
    AssignLocked();
}

void TthruForm::AssignLocked() {
    CloseAllLocked();
    settings_.loopBroken.store(false); // a new assignment routes again
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        if (!ImgButOpen[i]->isOpen()) {
            Output(k).portNumber.store(0);
            continue;
        }
        const int device = cmbMidiOut[i]->currentIndex();
        int port = k;
        // Share the port of the first earlier output that owns one on this device.
        for (int j = 1; j < k; ++j) {
            const auto e = static_cast<std::size_t>(j - 1);
            if (PortNumber(j) == j && cmbMidiOut[e]->currentIndex() == device) {
                port = j;
                break;
            }
        }
        Output(k).portNumber.store(port);
        if (port == k) {
            midi_.OpenRouterOut(
                k, cmbMidiOut[i]->currentText().toStdString()); // its answer is not used
        }
    }
}

void TthruForm::CloseAll() {
    std::lock_guard lock(settings_.routing);
    CloseAllLocked();
}

void TthruForm::CloseAllLocked() {
    for (int k = 1; k <= 4; ++k) {
        if (PortNumber(k) == k) {
            midi_.CloseRouterOut(k);
        }
    }
    for (int k = 1; k <= 4; ++k) {
        Output(k).portNumber.store(0);
    }
}

void TthruForm::ImgButOpenClick(int k) {
    const auto i = static_cast<std::size_t>(k - 1);
    unlisted_[i].reset(); // switched on, the row routes to the device it shows
    ui::TOpenSwitch* s = ImgButOpen[i];
    s->setOpen(!s->isOpen());
    cmbMidiOutSelect();
}

void TthruForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    closedAll_ = false;
    ImgButReset->showReleased();
    ImgButExit->showReleased();
    cmbMidiOutSelect();
    ShowLoopState();
    loopWatch_->start();
}

void TthruForm::hideEvent(QHideEvent* event) {
    loopWatch_->stop();
    QDialog::hideEvent(event);
}

void TthruForm::closeEvent(QCloseEvent* event) {
    CloseAll(); // FormCloseQuery: the close always goes ahead
    closedAll_ = true;
    QDialog::closeEvent(event);
}

void TthruForm::done(int result) {
    // Escape and the close box both end up here; close the ports once.
    if (!closedAll_) {
        CloseAll();
        closedAll_ = true;
    }
    QDialog::done(result);
}

void TthruForm::keyPressEvent(QKeyEvent* event) {
    if (!ui::EscapeCloses(event, [this] { close(); })) {
        QDialog::keyPressEvent(event);
    }
}

} // namespace velmora::router
