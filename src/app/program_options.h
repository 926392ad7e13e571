// The command line of `velmora`.
#pragma once

#include <QStringList>

namespace velmora::app {

struct ProgramOptions {
    QString midiApi; // "", "alsa" or "jack"
    bool demo = false;
    bool help = false;
    bool version = false;
    QString error; // the first thing on the command line that can't be read
};

// Reads the whole command line (its first item is the program): --help and
// --version are answered even when something else on it is wrong.
ProgramOptions ParseProgramOptions(const QStringList& arguments);

extern const char* const kProgramHelp;

} // namespace velmora::app
