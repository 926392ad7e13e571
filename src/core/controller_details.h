// Stateless texts about controllers: the registered parameters and their
// values, and the channel mode messages (controllers 120 to 127).
#pragma once

#include <string>

namespace velmora {

// "pitch bend sensitivity" for RPN 0/0; "" for parameters without a name.
std::string RegisteredParameterName(int msb, int lsb);

// A registered parameter's 14-bit data value in its own units:
// "2 semitones 0 cents" for pitch bend sensitivity 2/0.
std::string RegisteredValueText(int msb, int lsb, int value);

// The value after a data increment (+1) or decrement (-1): one step of the
// parameter's unit (a cent for pitch bend sensitivity, a semitone for coarse
// tuning), kept within 0..16383.
int StepRegisteredValue(int msb, int lsb, int value, int direction);

// The meaning of controller 120 to 127 with this value; "" below 120.
std::string ChannelModeText(int controller, int value);

} // namespace velmora
