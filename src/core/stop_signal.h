// Ctrl-C, SIGTERM and SIGHUP (a terminal closed, a desktop logging out) ask
// the program to end as its own Quit would: the handler only notes the
// request, and the program's loop reads it and ends in order.
#pragma once

namespace velmora {

void CatchStopSignals();
// The signal that asked to stop; 0 while none has.
int StopRequested();

} // namespace velmora
