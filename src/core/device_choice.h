// Which devices a start opens. Devices are kept by name: a stored name that
// is listed wins over the stored number, which other programs' ports shift;
// a stored name that is not listed opens nothing, so nothing is sent to a
// device the user did not pick.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

struct StartDevice {
    int index = -1;          // in the list; -1 opens nothing on this side
    std::string missingName; // a stored device that is not listed now
};

// `storedNumber` -1 (or any negative number) counts as not stored;
// `storedName` empty as not stored. With neither, the first device.
StartDevice ChooseStartDevice(const std::vector<std::string>& listed, int storedNumber,
                              const std::string& storedName);

// ChooseStartDevice over the input `devices` followed by `ownEntry`,
// Velmora's own input port (empty when there is none): the own entry is
// chosen by its stored name only, never by a stored number, which names a
// device.
StartDevice ChooseStartInput(const std::vector<std::string>& devices, const std::string& ownEntry,
                             int storedNumber, const std::string& storedName);

// The part of a device name that names the program or hardware behind it:
// the client before the first ':' ("Midi Through" of "Midi Through:Midi
// Through Port-0 14:0", "looper" of "looper:out"), else the whole name.
std::string DeviceClient(const std::string& name);

// A first start (no settings yet) must not pass thru from an input back to
// the same device: such a device (ALSA's "Midi Through", a loopback client)
// returns what it is sent, and thru would make a feedback loop.
struct FirstStartOutput {
    int index = 0;    // the output to open
    bool thru = true; // thru stays on
    std::string why;  // said on the Setup panel when thru starts off
};
FirstStartOutput ChooseFirstStartOutput(const std::vector<std::string>& inputs, int inputIndex,
                                        const std::vector<std::string>& outputs);

// The longest name of an own input port, in bytes: JACK and ALSA take
// client names of up to 63, and JACK adds "-01" to one already taken.
inline constexpr std::size_t kMaxOwnPortNameBytes = 60;

// Why `name` can't name an own input port (empty, too long, a ':' that
// would split the full "client:port" name, a control character); empty
// when it can.
std::string OwnPortNameProblem(const std::string& name);

} // namespace velmora
