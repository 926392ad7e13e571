#include "core/stop_signal.h"

#include <csignal>

namespace velmora {
namespace {

volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void NoteStopSignal(int signal) {
    gStopSignal = signal;
}

} // namespace

void CatchStopSignals() {
    std::signal(SIGINT, NoteStopSignal);
    std::signal(SIGTERM, NoteStopSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, NoteStopSignal);
#endif
}

int StopRequested() {
    return gStopSignal;
}

} // namespace velmora
