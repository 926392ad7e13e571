// Renders the main window as the program shows it, for the documentation:
//   velmora_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>

#include "main_form_fixture.h"
#include "support/sysex_dump.h"

using namespace velmora;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmora");
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    testing::MainFormRig rig({"Velmora Demo Synth", "Velmora Demo Synth 2"},
                             {"Velmora Demo Keyboard"});
    app::TmainForm& form = rig.Start();
    rig.Settle();
    form.grab().save(out + "/setup.png");

    // The LEDs light with the time of arrival: let some time pass first.
    rig.SetElapsed(1000);
    rig.Play({PackShortMessage(0xB0, 7, 100), PackShortMessage(0xC0, 5, 0),
              PackShortMessage(0xE0, 0, 72), PackShortMessage(0x90, 0x40, 0x50),
              PackShortMessage(0x80, 0x40, 0x40), PackShortMessage(0xF2, 0x10, 0x02),
              PackShortMessage(0xB0, 84, 127), PackShortMessage(0x90, 0x3C, 0x64)});
    form.grab().save(out + "/data-monitor.png");

    std::vector<std::uint8_t> dump{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    rig.service.InjectSysex(0, dump);
    std::vector<std::uint8_t> bank = velmora::testing::SysexDump(300, 0, 7);
    bank[1] = 0x7D;
    rig.service.InjectSysex(0, bank);
    rig.Settle();
    form.grab().save(out + "/sysex-monitor.png");

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
    // A bend range set by RPN (hidden with the controllers, still decoded),
    // then a bend: the details line and column say what it means.
    rig.Play({PackShortMessage(0xB0, 101, 0), PackShortMessage(0xB0, 100, 0),
              PackShortMessage(0xB0, 6, 12), PackShortMessage(0xE0, 0, 0x50)});
    form.SetLongHistory(true);
    QApplication::processEvents();
    form.grab().save(out + "/data-monitor-large.png");
    form.SetHistoryFilter(kShowEverything);
    form.SetLongHistory(false);
    form.SetTimeColumn(TimeColumn::Off);
    form.resize(app::TmainForm::kDefaultSize);
    QApplication::processEvents();
    form.close();
    return 0;
}
