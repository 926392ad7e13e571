// Renders the windows the help pages and the README show, offscreen, on the
// simulated service with the demo's device names:
//   velmora_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>

#include "app/capture_action.h"
#include "app/extra_inputs.h"
#include "app/main_form_fixture.h"
#include "midi/simulated/simulated_service.h"
#include "router/thru_form.h"
#include "support/sysex_dump.h"
#include "sysex/loopback_form.h"
#include "sysex/record_form.h"
#include "sysex/send_form.h"
#include "ui/kit_windows.h"

using namespace velmora;

namespace {

void Save(QWidget& window, const QString& folder, const char* name) {
    window.grab().save(QDir(folder).filePath(QString::fromLatin1(name)));
}

std::vector<std::uint8_t> Dump(std::size_t size, std::uint8_t id) {
    std::vector<std::uint8_t> bytes = velmora::testing::SysexDump(size, id, 7);
    bytes[1] = id;
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    {
        testing::MainFormRig rig({"Velmora Demo Synth", "Velmora Demo Synth 2"},
                                 {"Velmora Demo Keyboard"});
        app::TmainForm& form = rig.Start();
        rig.Settle();
        Save(form, out, "setup.png");

        // Volume, a program, a bend, a note played and released, a song
        // position, the sustain pedal, and at last C3 played with velocity 100.
        rig.Play({PackShortMessage(0xB0, 7, 100), PackShortMessage(0xC1, 5, 0),
                  PackShortMessage(0xE0, 0, 72), PackShortMessage(0x90, 0x40, 0x50),
                  PackShortMessage(0x80, 0x40, 0x40), PackShortMessage(0xF2, 0x10, 0x02),
                  PackShortMessage(0xB0, 64, 127), PackShortMessage(0x90, 0x3C, 0x64)});
        Save(form, out, "data-monitor.png");

        {
            // The history's menu while a capture runs.
            QTemporaryDir captures;
            form.capture().chooseFile = [&captures] {
                return captures.filePath(QStringLiteral("take.mid"));
            };
            form.capture().action()->trigger();
            for (int i = 0; i < 120; ++i) {
                rig.Play({PackShortMessage(0xF8, 0, 0)});
            }
            QElapsedTimer waited;
            waited.start();
            while (form.capture().action()->text().contains(QStringLiteral("(0 events)")) &&
                   waited.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            }
            QMenu* menu = form.MonitorMenu(form.Memo2);
            menu->popup(form.Memo2->mapToGlobal(QPoint(40, 10)));
            QApplication::processEvents();
            Save(*menu, out, "capture-menu.png");
            menu->close();
            form.capture().notice = nullptr; // the pictures after this one show no notice
            form.capture().Stop();
        }

        rig.service.InjectSysex(0, std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
        rig.service.InjectSysex(0, Dump(300, 0x41));
        rig.Settle();
        Save(form, out, "sysex-monitor.png");

        // A larger window, with the time column and the controllers hidden:
        // the extra room goes to the history.
        form.ImgButDataClick();
        form.resize(960, 640);
        form.SetTimeColumn(TimeColumn::SinceStart);
        for (int i = 0; i < 24; ++i) {
            const auto note = static_cast<std::uint8_t>(48 + (i * 5) % 24);
            rig.SetElapsed(static_cast<std::uint32_t>(2000 + i * 125));
            rig.Play({PackShortMessage(0x90, note, static_cast<std::uint8_t>(60 + i)),
                      PackShortMessage(0xB0, 1, static_cast<std::uint8_t>(i * 5)),
                      PackShortMessage(0x80, note, 0x40)});
        }
        MessageFilter filter = kShowEverything;
        filter.kinds &= ~std::uint32_t{kKindCc};
        form.SetHistoryFilter(filter);
        // A bend range set by RPN (hidden with the controllers, still
        // decoded), then a bend: the details line and column say what it means.
        rig.Play({PackShortMessage(0xB0, 101, 0), PackShortMessage(0xB0, 100, 0),
                  PackShortMessage(0xB0, 6, 12), PackShortMessage(0xE0, 0, 0x50)});
        form.SetLongHistory(true);
        QApplication::processEvents();
        Save(form, out, "data-monitor-large.png");
        form.SetHistoryFilter(kShowEverything);
        form.SetLongHistory(false);
        form.SetTimeColumn(TimeColumn::Off);
        form.resize(app::TmainForm::kDefaultSize);
        QApplication::processEvents();

        form.ImgButAboutClick();
        QApplication::processEvents();
        Save(form, out, "about.png");
        form.ImgButSetupClick();

        {
            // A split: the left hand on the first synth, channel 1, up to B2;
            // the right hand on the second, channel 2, an octave up.
            router::TthruForm thru(form.midi(), form.router(), &form);
            thru.ImgButOpen[1]->setOpen(true);
            thru.cmbMidiOut[1]->setCurrentIndex(1);
            thru.cmbChannel[0]->setCurrentIndex(1);
            thru.cmbChannel[1]->setCurrentIndex(2);
            thru.cmbTransp[1]->setCurrentIndex(24 + 12);
            thru.cmbSplitHi[0]->setCurrentIndex(59);
            thru.cmbSplitLo[1]->setCurrentIndex(60);
            thru.show();
            QApplication::processEvents();
            Save(thru, out, "multi-out.png");
            thru.close();
        }
        {
            sysex::TrecordForm record(form.session(), &form);
            record.show();
            record.lblStatus->setText(QStringLiteral("3 blocks received - 9472 Bytes received"));
            QApplication::processEvents();
            Save(record, out, "record.png");
            record.close();
        }
        {
            // Rendered before the window starts its send: nothing is sent.
            auto* send = new sysex::TsendForm(form.midi(), &form);
            send->show();
            send->lblStatus->setText(QStringLiteral("Sending Sysex on 'Velmora Demo Synth'..."));
            send->Gauge1->setMinValue(0);
            send->Gauge1->setMaxValue(9472);
            send->Gauge1->setProgress(5120);
            Save(*send, out, "send.png");
            delete send; // before its queued start runs
        }
        {
            // A run through an interface whose output is cabled to its input.
            midi::SimulatedService cable({"USB MIDI Interface"}, {"USB MIDI Interface"});
            cable.SetLoopback(0, 0);
            sysex::TloopbackForm loopback(cable, &form);
            loopback.spnCount->setValue(200);
            loopback.spnRate->setValue(1000);
            loopback.show();
            loopback.Run();
            QElapsedTimer waited;
            waited.start();
            while (loopback.Running() && waited.elapsed() < 20000) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            }
            QApplication::processEvents();
            Save(loopback, out, "loopback.png");
            loopback.close();
        }
        form.close();
    }
    {
        // A keyboard and a pad controller at once: the history's source column.
        testing::MainFormRig rig({"Velmora Demo Synth"},
                                 {"Velmora Demo Keyboard", "Velmora Demo Pads"});
        app::TmainForm& form = rig.Start();
        rig.Settle();
        form.SetExtraInputs({"Velmora Demo Pads"});
        const int pads = rig.service.InDeviceNumber("Velmora Demo Pads");
        for (std::uint8_t i = 0; i < 6; ++i) {
            const auto note = static_cast<std::uint8_t>(60 + 2 * i);
            rig.Play({PackShortMessage(0x90, note, 90), PackShortMessage(0x80, note, 64)});
            rig.service.InjectShort(pads, PackShortMessage(0x99, 36 + i, 110));
            rig.service.InjectShort(pads, PackShortMessage(0x89, 36 + i, 0));
            QElapsedTimer waited;
            waited.start();
            while (form.extraInputs().Queued() > 0 && waited.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            }
            QApplication::processEvents();
        }
        Save(form, out, "extra-inputs.png");
        form.close();
    }
    ui::DestroyKitWindows();
    return 0;
}
