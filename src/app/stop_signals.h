// A request to stop from outside (SIGTERM from a session that ends or from
// `kill`, SIGINT from Ctrl-C in the terminal, SIGHUP when the terminal goes)
// ends the program the way its Power button does: the windows close and the
// settings are saved. The signal only writes a byte to a pipe; the window
// thread does the rest.
#pragma once

#include <functional>

namespace velmora::app {

// Calls `stop` on the window thread (from its event loop) for each stop
// signal that arrives from now on. Call once, after the application object
// exists. False when the signals can't be caught (they then end the program
// as before).
bool StopOnSignals(std::function<void()> stop);

} // namespace velmora::app
