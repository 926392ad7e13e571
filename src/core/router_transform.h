// The per-output rewrite of a short message for the Multi Out router: a new
// channel, a key range for notes and a transposition.
#pragma once

#include "core/short_message.h"

namespace velmora {

// `channelIndex` 0 keeps the channel, 1 to 16 sets it; `transpose` is in
// semitones; notes (Note On / Off) outside lowNote..highNote, compared before
// transposition, are dropped. Returns 0 for "send nothing": also for a note
// transposed outside 0..127, which has no valid encoding, and for indices
// outside their lists. System messages pass unchanged.
ShortMessage RouterTransform(ShortMessage message, int channelIndex, int transpose, int lowNote,
                             int highNote);

// Thru: the message with its channel replaced by the "Channel n" choice
// (index 1 to 16) of the thru list; "As Input" (0), no selection and every
// message that is not a channel message leave it unchanged.
ShortMessage ThruMessage(ShortMessage message, int thruChannelIndex);

} // namespace velmora
