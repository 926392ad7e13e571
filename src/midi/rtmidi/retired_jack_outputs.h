// RtMidi's JACK output frees its queue before it closes its client, so a
// cycle of that client still under way when the output is destroyed reads
// freed memory: a crash on closing an output, seen on a loaded machine. Only
// a cycle that began before the port closed can touch the queue, so a closed
// JACK output is destroyed some seconds later, when no such cycle can still
// run. Until then its client idles, and an output opened meanwhile under the
// same name takes it again, so that the name stays the same for other
// programs. Those retired last are left to the end of the process, which
// closes their clients.
#pragma once

#include <RtMidi.h>

#include <memory>
#include <string>

#include "midi/rtmidi/jack_cycle_watch.h"

namespace velmora::midi {

// Takes `out`, its port closed, made by the service `watch` watches under
// `clientName`; destroys the outputs retired long enough ago.
void RetireJackOutput(const std::shared_ptr<JackCycleWatch>& watch, std::string clientName,
                      std::unique_ptr<RtMidiOut> out);

// A retired output of that service and name, to open again; null when
// there is none or its server has stopped.
std::unique_ptr<RtMidiOut> TakeRetiredJackOutput(const std::shared_ptr<JackCycleWatch>& watch,
                                                 const std::string& clientName);

} // namespace velmora::midi
