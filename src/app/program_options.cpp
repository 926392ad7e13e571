#include "app/program_options.h"

namespace velmora::app {

const char* const kProgramHelp =
    "Usage: velmora [--midi-api alsa|jack] [--demo] [-debug]\n"
    "\n"
    "Velmora, the MIDI monitor: shows every message arriving at a MIDI input in\n"
    "binary, hexadecimal, decimal and words, lists sysex dumps, records and sends\n"
    ".syx files, passes the input through to an output, and routes it to up to\n"
    "four outputs.\n"
    "\n"
    "  --midi-api alsa|jack  the MIDI service to use (default: the ALSA\n"
    "                        sequencer, else a running JACK server)\n"
    "  --demo                try Velmora without MIDI hardware: a demo keyboard\n"
    "                        plays into it and demo synths receive its output\n"
    "  -debug                write the help's diagnostic log HHDebug.txt\n"
    "  --help                this text\n"
    "  --version             the version\n"
    "\n"
    "The settings are kept in Velmora.ini beside the program, or in the user's\n"
    "configuration folder when the program's folder can't be written or the\n"
    "program is installed.\n";

ProgramOptions ParseProgramOptions(const QStringList& arguments) {
    ProgramOptions o;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--midi-api" || a.startsWith("--midi-api=")) {
            QString value;
            if (a.contains('=')) {
                value = a.section('=', 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value == "alsa" || value == "jack" || value == "jack-rtmidi") {
                o.midiApi = value;
            } else if (o.error.isEmpty()) {
                o.error = QStringLiteral("--midi-api wants alsa or jack, not '%1'").arg(value);
            }
        } else if (a.compare("/debug", Qt::CaseInsensitive) == 0 ||
                   a.compare("-debug", Qt::CaseInsensitive) == 0) {
            // read by the help hook
        } else if (o.error.isEmpty()) {
            o.error = QStringLiteral("unknown argument '%1'").arg(a);
        }
    }
    return o;
}

} // namespace velmora::app
