#include "sysex/loopback_form.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace velmora::sysex {
namespace {

QString Ms(std::int64_t micros) {
    return QString::number(static_cast<double>(micros) / 1000.0, 'f', 2) + QStringLiteral(" ms");
}

void FillDevices(QComboBox* list, int count,
                 const std::function<std::optional<std::string>(int)>& name) {
    for (int d = 0; d < count; ++d) {
        if (const auto n = name(d)) {
            list->addItem(QString::fromStdString(*n));
        }
    }
}

} // namespace

QString LoopbackText(const LoopbackReport& f) {
    QString text =
        QStringLiteral("Sent %1, received %2, lost %3, duplicated %4, reordered %5, damaged %6")
            .arg(f.sent)
            .arg(f.received)
            .arg(f.lost)
            .arg(f.duplicated)
            .arg(f.reordered)
            .arg(f.damaged);
    if (f.latency) {
        text += QStringLiteral("\nLatency: minimum %1, median %2, 99th percentile %3, maximum %4")
                    .arg(Ms(f.latency->minimum), Ms(f.latency->median), Ms(f.latency->p99),
                         Ms(f.latency->maximum));
        text += QStringLiteral("\nJitter: %1").arg(Ms(f.latency->jitter));
    } else {
        text += QStringLiteral("\nNothing came back: is the output connected to the input?");
    }
    return text;
}

TloopbackForm::TloopbackForm(midi::MidiService& service, QWidget* parent)
    : QDialog(parent), service_(service) {
    setObjectName(QStringLiteral("loopbackForm"));
    setWindowTitle(QStringLiteral("Loopback test"));
    cmbOut = new QComboBox(this);
    cmbIn = new QComboBox(this);
    FillDevices(cmbOut, service.OutDeviceCount(),
                [&service](int d) { return service.OutDeviceName(d); });
    FillDevices(cmbIn, service.InDeviceCount(),
                [&service](int d) { return service.InDeviceName(d); });
    spnCount = new QSpinBox(this);
    spnCount->setRange(1, 100000);
    spnCount->setValue(1000);
    spnRate = new QSpinBox(this);
    spnRate->setRange(1, 5000);
    spnRate->setValue(100);
    spnRate->setSuffix(QStringLiteral(" per second"));
    // Longer probes test a way with dumps: each comes back whole or counts
    // as damaged.
    spnSize = new QSpinBox(this);
    spnSize->setRange(8, 1 << 20);
    spnSize->setValue(8);
    spnSize->setSuffix(QStringLiteral(" bytes"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Send to &output:"), cmbOut);
    form->addRow(QStringLiteral("Receive at &input:"), cmbIn);
    form->addRow(QStringLiteral("&Probes:"), spnCount);
    form->addRow(QStringLiteral("&Rate:"), spnRate);
    form->addRow(QStringLiteral("Probe si&ze:"), spnSize);
    lblProgress = new QLabel(this);
    lblResult = new QLabel(this);
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblResult->setText(QStringLiteral("Connect the output to the input (a cable, or a device "
                                      "that echoes what it gets), then Run."));
    lblResult->setWordWrap(true);
    btnRun = new QPushButton(QStringLiteral("&Run"), this);
    btnRun->setDefault(true);
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnRun);
    buttons->addWidget(btnClose);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(lblProgress);
    column->addWidget(lblResult);
    column->addLayout(buttons);
    setMinimumWidth(460);
    connect(btnRun, &QPushButton::clicked, this, [this] { Running() ? Stop() : void(Run()); });
    connect(btnClose, &QPushButton::clicked, this, &TloopbackForm::reject);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
}

TloopbackForm::~TloopbackForm() = default;

bool TloopbackForm::Run() {
    midi::LoopbackRequest request;
    request.out = cmbOut->currentText().toStdString();
    request.in = cmbIn->currentText().toStdString();
    request.count = static_cast<std::size_t>(spnCount->value());
    request.rate = spnRate->value();
    request.sysexBytes = static_cast<std::size_t>(spnSize->value());
    request.settle = settle;
    auto run = std::make_unique<midi::LoopbackRun>(service_, request);
    std::string error;
    if (request.out.empty() || request.in.empty()) {
        error = "choose an output and an input";
    } else if (!run->Start(error)) {
        run.reset();
    }
    if (!error.empty()) {
        lblResult->setText(QStringLiteral("Can't run: %1.").arg(QString::fromStdString(error)));
        return false;
    }
    run_ = std::move(run);
    figures_.reset();
    btnRun->setText(QStringLiteral("&Stop"));
    for (QWidget* w : std::initializer_list<QWidget*>{cmbOut, cmbIn, spnCount, spnRate, spnSize}) {
        w->setEnabled(false);
    }
    lblResult->clear();
    poll_.start();
    Poll();
    return true;
}

void TloopbackForm::Poll() {
    if (!run_) {
        return;
    }
    lblProgress->setText(QStringLiteral("Sent %1 of %2, %3 back")
                             .arg(run_->Sent())
                             .arg(spnCount->value())
                             .arg(run_->Back()));
    if (!run_->Done()) {
        return;
    }
    poll_.stop();
    figures_ = run_->Finish();
    run_.reset();
    lblResult->setText(LoopbackText(*figures_));
    btnRun->setText(QStringLiteral("&Run"));
    for (QWidget* w : std::initializer_list<QWidget*>{cmbOut, cmbIn, spnCount, spnRate, spnSize}) {
        w->setEnabled(true);
    }
}

void TloopbackForm::Stop() {
    if (run_) {
        run_->Cancel(); // the next poll finds it done and shows what came back
    }
}

void TloopbackForm::reject() {
    if (run_) {
        run_->Cancel();
        figures_ = run_->Finish();
        run_.reset();
        poll_.stop();
    }
    QDialog::reject();
}

} // namespace velmora::sysex
