// The command line of `velmora`.
#pragma once

#include <QStringList>

namespace velmora::app {

struct ProgramOptions {
    QString midiApi; // "", "alsa" or "jack"
    bool demo = false;
    bool help = false;
    QString error; // set when the command line can't be read
};

ProgramOptions ParseProgramOptions(const QStringList& arguments);

extern const char* const kProgramHelp;

} // namespace velmora::app
