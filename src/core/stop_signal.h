// Ctrl-C, SIGTERM and SIGHUP (a terminal closed, a desktop logging out) ask
// the program to end as its own Quit would: the handler only notes the
// request (and wakes whoever waits in ReadUnlessStopped), and the program's
// loop reads it and ends in order.
#pragma once

#include <cstddef>

namespace velmora {

void CatchStopSignals();
// The signal that asked to stop; 0 while none has.
int StopRequested();
// A descriptor that becomes readable once a stop signal came (and stays so),
// for an event loop to watch instead of polling StopRequested; -1 where
// there is none (the loop then polls).
int StopSignalDescriptor();
// The exit status that says a signal ended the program (128 + the signal),
// or `otherwise` while none came.
int StatusAfterStop(int otherwise);

// read(2) of `fd` that a stop signal ends: the bytes read, 0 at the end of the
// input, -1 for an error (errno tells which), kStopped once a stop signal
// came, also while waiting for input that never comes.
inline constexpr long kStopped = -2;
long ReadUnlessStopped(int fd, void* into, std::size_t size);

} // namespace velmora
